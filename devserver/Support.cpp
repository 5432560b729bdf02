#include "Support.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cctype>
#include <clocale>
#include <cstdio>
#include <ctime>
#include <cwctype>
#include <locale.h>
#include <wctype.h>

namespace devserver {

static std::string hex(const unsigned char *p, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

std::string randomHex(size_t bytes)
{
    std::vector<unsigned char> buf(bytes);
    if (RAND_bytes(buf.data(), int(bytes)) != 1)
        throw std::runtime_error("RAND_bytes failed");
    return hex(buf.data(), bytes);
}

Md5Stream::Md5Stream()
    : ctx_(EVP_MD_CTX_new())
{
    EVP_DigestInit_ex(static_cast<EVP_MD_CTX *>(ctx_), EVP_md5(), nullptr);
}

Md5Stream::~Md5Stream()
{
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX *>(ctx_));
}

void Md5Stream::add(const char *data, size_t len)
{
    EVP_DigestUpdate(static_cast<EVP_MD_CTX *>(ctx_), data, len);
}

std::string Md5Stream::finishHex()
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_DigestFinal_ex(static_cast<EVP_MD_CTX *>(ctx_), md, &n);
    return hex(md, n);
}

std::string md5Hex(const std::string &data)
{
    Md5Stream m;
    m.add(data.data(), data.size());
    return m.finishHex();
}

std::string pbkdf2Hex(const std::string &password, const std::string &saltHex)
{
    unsigned char out[32];
    PKCS5_PBKDF2_HMAC(password.data(), int(password.size()),
                      reinterpret_cast<const unsigned char *>(saltHex.data()), int(saltHex.size()),
                      10000, EVP_sha256(), sizeof out, out);
    return hex(out, sizeof out);
}

bool makeSelfSignedCert(const std::string &certPath, const std::string &keyPath, std::string &error)
{
    EVP_PKEY *key = EVP_RSA_gen(2048);
    if (!key) {
        error = "key generation failed";
        return false;
    }
    X509 *x = X509_new();
    ASN1_INTEGER_set(X509_get_serialNumber(x), long(std::time(nullptr)));
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 3650L * 24 * 3600);
    X509_set_pubkey(x, key);
    X509_NAME *name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char *>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(x, name);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, x, x, nullptr, nullptr, 0);
    if (X509_EXTENSION *ext
        = X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost")) {
        X509_add_ext(x, ext, -1);
        X509_EXTENSION_free(ext);
    }
    X509_sign(x, key, EVP_sha256());
    bool ok = false;
    if (FILE *f = std::fopen(certPath.c_str(), "wb")) {
        ok = PEM_write_X509(f, x) == 1;
        std::fclose(f);
    }
    if (FILE *f = std::fopen(keyPath.c_str(), "wb")) {
        ok = PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1 && ok;
        std::fclose(f);
    } else {
        ok = false;
    }
    X509_free(x);
    EVP_PKEY_free(key);
    if (!ok)
        error = "cannot write certificate files";
    return ok;
}

namespace {

// One code point from s at i (advancing i); malformed sequences give U+FFFD and one byte.
char32_t decodeUtf8(const std::string &s, size_t &i, bool &ok)
{
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    ok = true;
    if (c < 0x80) {
        ++i;
        return c;
    }
    int n = 0;
    char32_t cp = 0, min = 0;
    if ((c & 0xE0) == 0xC0) {
        n = 1, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        n = 2, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        n = 3, cp = c & 0x07, min = 0x10000;
    } else {
        ok = false;
        ++i;
        return 0xFFFD;
    }
    if (i + size_t(n) >= s.size()) { // cut short
        ok = false;
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k <= n; ++k) {
        if ((b(i + size_t(k)) & 0xC0) != 0x80) {
            ok = false;
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b(i + size_t(k)) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ok = false;
        ++i;
        return 0xFFFD;
    }
    i += size_t(n) + 1;
    return cp;
}

void appendUtf8(std::string &out, char32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

bool isControl(char32_t cp)
{
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0xFFFE || cp == 0xFFFF;
}

// Simple case folding of one character: the lower case of its upper case (so ς, σ and Σ, ſ
// and s meet, as in the client's folding), through the C.UTF-8 locale's Unicode tables.
char32_t foldChar(char32_t c)
{
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + 32 : c;
    if (c == 0x130 || c == 0x131) // dotted and dotless i have no simple folding
        return c;
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    if (!utf8)
        return c;
    return char32_t(towlower_l(towupper_l(wint_t(c), utf8), utf8));
}

} // namespace

std::string xmlEscape(const std::string &s)
{
    // Whatever the text holds, the answer stays well-formed XML: malformed UTF-8 becomes
    // U+FFFD and characters XML 1.0 forbids become spaces.
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) {
            bool ok = true;
            const char32_t cp = decodeUtf8(s, i, ok);
            if (cp >= 0x7F && cp <= 0x9F)
                out += ' ';
            else
                appendUtf8(out, cp == 0xFFFE || cp == 0xFFFF ? char32_t(0xFFFD) : cp);
            continue;
        }
        ++i;
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F)
                out += ' ';
            else
                out += char(c);
        }
    }
    return out;
}

static int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string urlDecode(const std::string &s, bool plusIsSpace)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '+' && plusIsSpace) {
            out += ' ';
        } else if (c == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0
                   && hexValue(s[i + 2]) >= 0) {
            out += char(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::map<std::string, std::string> parseUrlEncoded(const std::string &body)
{
    std::map<std::string, std::string> out;
    size_t pos = 0;
    while (pos <= body.size()) {
        size_t amp = body.find('&', pos);
        if (amp == std::string::npos)
            amp = body.size();
        std::string pair = body.substr(pos, amp - pos);
        if (!pair.empty()) {
            size_t eq = pair.find('=');
            std::string k = urlDecode(pair.substr(0, eq));
            std::string v
                = eq == std::string::npos ? std::string() : urlDecode(pair.substr(eq + 1));
            out.emplace(k, v); // the first value of a repeated name wins
        }
        pos = amp + 1;
    }
    return out;
}

std::string toLowerAscii(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

std::string nowText()
{
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S", &tm);
    return buf;
}

size_t utf8Length(const std::string &s)
{
    size_t n = 0;
    for (unsigned char c : s) {
        if ((c & 0xC0) != 0x80)
            ++n;
        if ((c & 0xF8) == 0xF0) // outside the BMP: two UTF-16 code units, as the client counts
            ++n;
    }
    return n;
}

bool isCleanText(const std::string &s, bool allowLines)
{
    for (size_t i = 0; i < s.size();) {
        bool ok = true;
        const char32_t cp = decodeUtf8(s, i, ok);
        if (!ok)
            return false;
        if (isControl(cp) && !(allowLines && (cp == '\t' || cp == '\n' || cp == '\r')))
            return false;
    }
    return true;
}

std::u32string foldCase(const std::string &utf8)
{
    std::u32string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        bool ok = true;
        out += foldChar(decodeUtf8(utf8, i, ok));
    }
    return out;
}

int compareFolded(const std::string &a, const std::string &b)
{
    const std::u32string fa = foldCase(a), fb = foldCase(b);
    return fa < fb ? -1 : (fb < fa ? 1 : 0);
}

NamePattern::NamePattern(const std::string &pattern)
{
    // Runs of `*` are one `*`: they match the same, and the matcher stays small.
    for (char32_t c : foldCase(pattern)) {
        if (c == U'*' && !p_.empty() && p_.back() == U'*')
            continue;
        p_ += c;
        if (c == U'*' || c == U'?')
            wildcards_ = true;
        if (c != U'*')
            ++fixed_;
    }
}

bool NamePattern::matches(const std::string &name) const
{
    const std::u32string s = foldCase(name);
    if (fixed_ > s.size())
        return false;
    if (!wildcards_)
        return s.find(p_) != std::u32string::npos;
    // Greedy match that on a mismatch goes back only to the last `*`: each `*` extends at most
    // once per name position, so the work is bounded by pattern × name length.
    size_t pi = 0, si = 0, star = std::u32string::npos, resume = 0;
    while (si < s.size()) {
        if (pi < p_.size() && (p_[pi] == U'?' || p_[pi] == s[si])) {
            ++pi;
            ++si;
        } else if (pi < p_.size() && p_[pi] == U'*') {
            star = pi++;
            resume = si;
        } else if (star != std::u32string::npos) {
            pi = star + 1;
            si = ++resume;
        } else {
            return false;
        }
    }
    while (pi < p_.size() && p_[pi] == U'*')
        ++pi;
    return pi == p_.size();
}

bool wildcardMatch(const std::string &pattern, const std::string &name)
{
    return NamePattern(pattern).matches(name);
}

// --- SQLite ---

Stmt &Stmt::bind(int i, int64_t v)
{
    sqlite3_bind_int64(st_, i, v);
    return *this;
}

Stmt &Stmt::bind(int i, const std::string &v)
{
    sqlite3_bind_text(st_, i, v.data(), int(v.size()), SQLITE_TRANSIENT);
    return *this;
}

Stmt &Stmt::bindNull(int i)
{
    sqlite3_bind_null(st_, i);
    return *this;
}

bool Stmt::step()
{
    int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(db_));
}

static void sqlMatch(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    auto s = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
    // The pattern is the same for every row of a query: prepared once and kept with it.
    auto *pattern = static_cast<NamePattern *>(sqlite3_get_auxdata(ctx, 0));
    if (!pattern) {
        auto p = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
        pattern = new NamePattern(p ? p : "");
        sqlite3_set_auxdata(ctx, 0, pattern, [](void *v) { delete static_cast<NamePattern *>(v); });
        pattern = static_cast<NamePattern *>(sqlite3_get_auxdata(ctx, 0));
        if (!pattern) {
            sqlite3_result_int(ctx, s && wildcardMatch(p ? p : "", s) ? 1 : 0);
            return;
        }
    }
    sqlite3_result_int(ctx, s && pattern->matches(s) ? 1 : 0);
}

static int foldedCollation(void *, int la, const void *a, int lb, const void *b)
{
    return compareFolded(std::string(static_cast<const char *>(a), size_t(la)),
                         std::string(static_cast<const char *>(b), size_t(lb)));
}

Db::Db(const std::string &path)
{
    if (sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK)
        throw std::runtime_error("cannot open database " + path);
    sqlite3_create_function(db_, "vq_match", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            sqlMatch, nullptr, nullptr);
    // Names that are equal ignoring letter case, folded as the client folds them.
    sqlite3_create_collation(db_, "vqcase", SQLITE_UTF8, nullptr, foldedCollation);
    exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=OFF; PRAGMA "
         "cache_size=-65536;");
}

Db::~Db()
{
    for (auto &[sql, st] : cache_)
        sqlite3_finalize(st);
    sqlite3_close(db_);
}

void Db::exec(const std::string &sql)
{
    char *err = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : "?";
        sqlite3_free(err);
        throw std::runtime_error("sqlite: " + msg);
    }
}

void Db::rollbackQuietly()
{
    if (inTransaction())
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

sqlite3_stmt *Db::prepare(const std::string &sql)
{
    auto it = cache_.find(sql);
    if (it != cache_.end())
        return it->second;
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), int(sql.size()), &st, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("sqlite prepare: ") + sqlite3_errmsg(db_) + " in "
                                 + sql);
    cache_.emplace(sql, st);
    return st;
}

} // namespace devserver
