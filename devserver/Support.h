#pragma once

// Small helpers of the devserver: crypto, SQLite access, XML output, text utilities.

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace devserver {

// --- crypto (OpenSSL) ---
std::string randomHex(size_t bytes); // 2*bytes lower-case hex characters
std::string md5Hex(const std::string &data);
std::string pbkdf2Hex(const std::string &password, const std::string &saltHex);
bool makeSelfSignedCert(const std::string &certPath, const std::string &keyPath,
                        std::string &error);

class Md5Stream
{
public:
    Md5Stream();
    ~Md5Stream();
    Md5Stream(const Md5Stream &) = delete;
    Md5Stream &operator=(const Md5Stream &) = delete;
    void add(const char *data, size_t len);
    std::string finishHex();

private:
    void *ctx_;
};

// --- text ---
std::string xmlEscape(const std::string &s);
std::string urlDecode(const std::string &s, bool plusIsSpace = true);
std::map<std::string, std::string> parseUrlEncoded(const std::string &body);
std::string toLowerAscii(std::string s);
std::string nowText(); // "YYYY/MM/DD HH:MM:SS", local time
size_t utf8Length(const std::string &s);
// Well-formed UTF-8 without control characters (tab, CR and LF only when lines are allowed):
// what may be stored as a name or a comment and written into an answer again.
bool isCleanText(const std::string &s, bool allowLines);
// The text's characters with their letter case folded as the client folds it (ＡＢＣ/ａｂｃ,
// Äpfel/äpfel); bytes that are no UTF-8 become U+FFFD.
std::u32string foldCase(const std::string &utf8);
// Names equal ignoring letter case compare 0.
int compareFolded(const std::string &a, const std::string &b);

// A name pattern: `*` any run, `?` one character, letter case ignored; without wildcards a
// substring. Matching takes time linear in the pattern and quadratic at worst in the name's
// (short) length, never exponential.
class NamePattern
{
public:
    explicit NamePattern(const std::string &pattern);
    bool matches(const std::string &name) const;

private:
    std::u32string p_;
    size_t fixed_ = 0; // characters that are not `*`: a name shorter than this cannot match
    bool wildcards_ = false;
};
bool wildcardMatch(const std::string &pattern, const std::string &name);

// Compact XML builder: elements in the order they are written, no white space.
class Xml
{
public:
    Xml &open(const char *name)
    {
        s += '<';
        s += name;
        s += '>';
        return *this;
    }
    Xml &close(const char *name)
    {
        s += "</";
        s += name;
        s += '>';
        return *this;
    }
    Xml &el(const char *name, const std::string &v)
    {
        open(name);
        s += xmlEscape(v);
        return close(name);
    }
    Xml &el(const char *name, const char *v) { return el(name, std::string(v)); }
    Xml &el(const char *name, int64_t v) { return el(name, std::to_string(v)); }
    Xml &el(const char *name, int v) { return el(name, std::to_string(v)); }
    Xml &flag(const char *name, bool v) { return el(name, v ? "true" : "false"); }
    std::string s;
};

// --- SQLite ---
class Db;
class Stmt
{
public:
    Stmt(sqlite3_stmt *st, sqlite3 *db)
        : st_(st)
        , db_(db)
    {}
    Stmt(Stmt &&o) noexcept
        : st_(o.st_)
        , db_(o.db_)
    {
        o.st_ = nullptr;
    }
    ~Stmt()
    {
        if (st_) {
            sqlite3_reset(st_);
            sqlite3_clear_bindings(st_);
        }
    }
    Stmt &bind(int i, int64_t v);
    Stmt &bind(int i, int v) { return bind(i, int64_t(v)); }
    Stmt &bind(int i, const std::string &v);
    Stmt &bind(int i, const char *v) { return bind(i, std::string(v)); }
    Stmt &bindNull(int i);
    bool step(); // true while a row is available
    void run()
    {
        while (step()) {
        }
    }
    int64_t i(int col) const { return sqlite3_column_int64(st_, col); }
    std::string t(int col) const
    {
        auto p = reinterpret_cast<const char *>(sqlite3_column_text(st_, col));
        return p ? std::string(p, size_t(sqlite3_column_bytes(st_, col))) : std::string();
    }
    bool isNull(int col) const { return sqlite3_column_type(st_, col) == SQLITE_NULL; }

private:
    sqlite3_stmt *st_;
    sqlite3 *db_;
};

class Db
{
public:
    explicit Db(const std::string &path);
    ~Db();
    Db(const Db &) = delete;
    Db &operator=(const Db &) = delete;
    void exec(const std::string &sql);
    // Cached prepared statement; the caller must hold the service lock.
    template<typename... A>
    Stmt q(const std::string &sql, const A &...args)
    {
        Stmt st(prepare(sql), db_);
        int i = 1;
        (st.bind(i++, args), ...);
        return st;
    }
    // True while a transaction is open (e.g. left by a failed handler).
    bool inTransaction() const { return sqlite3_get_autocommit(db_) == 0; }
    // Rolls an open transaction back; never throws.
    void rollbackQuietly();
    int64_t lastId() const { return sqlite3_last_insert_rowid(db_); }
    int changes() const { return sqlite3_changes(db_); }
    sqlite3 *handle() const { return db_; }

private:
    sqlite3_stmt *prepare(const std::string &sql);
    sqlite3 *db_ = nullptr;
    std::map<std::string, sqlite3_stmt *> cache_;
};

} // namespace devserver
