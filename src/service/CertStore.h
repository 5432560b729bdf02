#pragma once

#include <QList>
#include <QSslCertificate>
#include <QString>

// The installation's own trust file: server certificates that the user chose to trust
// (setting addCertStore). It lives in the data folder and only this client reads it; no
// system-wide store is ever touched.
class CBizCertStore
{
public:
    // The trust file of this installation (data folder).
    static QString DefaultPath();

    explicit CBizCertStore(const QString &path = DefaultPath());

    // Certificates of the file; empty when there is none or it is unreadable.
    QList<QSslCertificate> Certificates() const;
    // Adds (or keeps) the certificate; written atomically. False when it cannot be saved.
    bool Add(const QSslCertificate &certificate);
    QString path() const { return m_path; }

private:
    QString m_path;
};
