#pragma once

#include "TransferDigest.h"

#include <QFile>
#include <QString>

#include <functional>
#include <optional>

class QIODevice;

// The local side of one download: the partial file beside the target (or the store's own
// download copy), the digest of the whole local file, and the rename over the target once
// the bytes are complete and checked. Whatever is not committed is removed when the object
// goes, so a failed or cancelled transfer never leaves a partial file or touches the target.
//
//     CDownloadFile file(target, {}, true);
//     file.Open(false);  ...  file.AppendFrom(reply);  ...
//     if (DigestEquals(file.Finish(), expected)) file.Commit();
class CDownloadFile
{
public:
    // downloadCopy: the file to write (and resume) instead of a new temporary sibling.
    CDownloadFile(const QString &target, const QString &downloadCopy, bool wantDigest);
    ~CDownloadFile();
    CDownloadFile(const CDownloadFile &) = delete;
    CDownloadFile &operator=(const CDownloadFile &) = delete;

    // Creates the partial file; resuming, the bytes already present (the download copy, or
    // the target itself) are kept and continued. False when it cannot be created.
    bool Open(bool resume);
    // Bytes in the file so far.
    qint64 size() const { return m_length; }
    QString partialPath() const { return m_partial; }
    // The server sent the whole file after all: the bytes present go.
    void Restart();
    // Digests the bytes already present; advance gets the bytes done and answers false to
    // stop (then the answer is false).
    bool DigestPresent(const std::function<bool(qint64)> &advance);
    // Appends what source has available, one read of at most a block; answers the bytes
    // appended (0 when it had none). A write failure raises CBizFileException.
    qint64 AppendFrom(QIODevice &source);
    // Flushes and closes the file; answers the digest of the whole file (empty without
    // digest). A flush failure raises CBizFileException.
    QString Finish();
    // Puts the finished file in place of the target. Raises CBizOsException.
    void Commit();

private:
    void PassOn();

    QString m_target;
    QString m_partial;
    bool m_ownCopy;
    bool m_committed = false;
    QFile m_file;
    qint64 m_length = 0;
    std::optional<CDigestPipe> m_digest;
    CBlockPool m_pool;
    QByteArray *m_block = nullptr; // the block being filled
    qsizetype m_filled = 0;
};
