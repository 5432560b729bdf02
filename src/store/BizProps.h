#pragma once

#include <QMap>
#include <QString>

// A key=value settings file (server.vqr, version.vqr) held as a table that remembers the
// path of its file.
//
// On disk: UTF-16LE with a byte-order mark (a file without one is read as UTF-16LE too),
// lines end with CR LF. A line splits at its first '=' unless that is the first character;
// otherwise (no '=', or '=' first, or an empty line) the whole line is the key and the value
// is empty. Key and value are trimmed; a later duplicate key wins. Keys are case-sensitive.
//
// Save writes one "key=value" line per entry (sorted by key; the order means nothing to
// readers) to a temporary file and renames it into place, so a failed save never leaves a
// half-written file.
class CBizProps
{
public:
    explicit CBizProps(const QString &path = {});
    virtual ~CBizProps() = default;

    QString path() const { return m_path; }
    void SetPath(const QString &path) { m_path = path; }

    // True when the table's own path names an existing file or folder; false for an empty
    // path.
    bool Exists() const;
    // The same for the given path; an empty given path answers false (the own path is not
    // used then).
    bool Exists(const QString &path) const;

    // Reads the file (the own path when path is empty) into the table: entries are added or
    // replaced, none removed. A file that cannot be opened raises CBizFileException.
    bool Load(const QString &path = {});
    // Writes every entry, replacing the file. False when the folders of the path cannot be
    // created; a file that cannot be written raises CBizFileException.
    bool Save(const QString &path = {}) const;

    // OnGet(key), then the value, or the empty text when absent.
    QString GetValue(const QString &key) const;
    // Stores the value, then OnSet(key, value).
    void SetValue(const QString &key, const QString &value);
    bool Contains(const QString &key) const { return m_values.contains(key); }
    bool Remove(const QString &key) { return m_values.remove(key) > 0; }
    void Clear() { m_values.clear(); }
    qsizetype Count() const { return m_values.size(); }
    bool IsEmpty() const { return m_values.isEmpty(); }
    const QMap<QString, QString> &values() const { return m_values; }

    // ParseVersion of the value: the most significant pair, *ls the least significant one.
    // An absent key answers 0 and leaves *ls as it was.
    quint32 GetVersion(const QString &key, quint32 *ls = nullptr) const;
    // Stores FormatVersion(ms, ls) under the key (OnSet follows).
    void SetVersion(const QString &key, quint32 ms, quint32 ls);

    // Parses the file content (with or without byte-order mark) into the table.
    void ParseContent(const QByteArray &content);
    // The file content Save writes.
    QByteArray ToContent() const;

protected:
    // Hooks for derived tables: OnGet at the start of every read of a value, OnSet after a
    // value has been set.
    virtual void OnGet(const QString &key) const;
    virtual void OnSet(const QString &key, const QString &value);

private:
    QString m_path;
    QMap<QString, QString> m_values;
};
