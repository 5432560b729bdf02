#include "ServiceImpl.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace fs = std::filesystem;

namespace devserver {

namespace {

double nowSeconds()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Rights and limits a user has unless configured otherwise.
const std::vector<std::pair<std::string, std::string>> &profileDefaults()
{
    static const std::vector<std::pair<std::string, std::string>> d = {
        {"type", "0"},
        {"privWeb", "0"},
        {"deleteCache", "0"},
        {"privBulkDownload", "0"},
        {"maxFileSize", "314572800"},
        {"generationNum", "0"},
        {"maxFavoriteCount", "500"},
        {"maxFileCommentLength", "5000"},
        {"maxFolderCommentLength", "500"},
        {"maxFileNameLength", "50"},
        {"maxFileNum", "1000"},
        {"maxFileCreate", "100"},
        {"maxFileMove", "1000"},
        {"maxFileCopy", "500"},
        {"maxFolderDepth", "3"},
        {"maxRootFolderLength", "40"},
        {"maxSubFolderLength", "20"},
        {"privFileCreate", "0"},
        {"privFileOverwrite", "0"},
        {"privBulkUpload", "0"},
        {"privFileMove", "0"},
        {"privFileDelete", "0"},
        {"privFileDownload", "0"},
        {"privFolderCreate", "0"},
        {"privFolderMove", "0"},
        {"privFolderDelete", "0"},
        {"privReadonlyCreate", "0"},
        {"privFileRename", "0"},
        {"bulkDownloadDisableH1From", "9"},
        {"bulkDownloadDisableH1To", "11"},
        {"bulkDownloadDisableH2From", "0"},
        {"bulkDownloadDisableH2To", "0"},
        {"remoteSupportURL", "https://support.velquor.example/remote/download.html"},
        {"manualUrl", ""},
        {"shop", ""},
        {"twitter", ""},
        {"youtube", ""},
        {"showUpdateTime", "0"},
        {"privEmptyFileUpload", "0"},
        {"privBulkUploadDataBox", "0"},
        {"privDataBox", "0"},
        {"privEditDataBox", "0"},
        {"privFileCommentEditDataBox", "0"},
        {"privFileCreateDataBox", "0"},
        {"privFileDeleteDataBox", "0"},
        {"privFileDownloadDataBox", "0"},
        {"privFileMoveDataBox", "0"},
        {"privFileOverwriteDataBox", "0"},
        {"privFileRenameDataBox", "0"},
        {"privFolderCreateDataBox", "0"},
        {"privFolderDeleteDataBox", "0"},
        {"privFolderMoveDataBox", "0"},
        {"privReadonlyCreateDataBox", "0"},
    };
    return d;
}

bool isFlagKey(const std::string &k)
{
    return k.rfind("priv", 0) == 0 || k == "deleteCache" || k == "showUpdateTime";
}

} // namespace

Service::Service(const std::string &dataDir, const std::string &seed, int64_t accessKeyLifetime)
    : dataDir_(dataDir)
    , seed_(seed)
    , accessKeyLifetime_(accessKeyLifetime)
{
    fs::create_directories(dataDir_ + "/blobs");
    fs::create_directories(dataDir_ + "/tmp");
    db_ = std::make_unique<Db>(dataDir_ + "/devserver.sqlite3");
    createSchema();
    bool empty = true;
    {
        auto st = db_->q("SELECT COUNT(*) FROM offices");
        if (st.step())
            empty = st.i(0) == 0;
    }
    if (empty)
        applySeed(seed);
}

Service::~Service() = default;

void Service::createSchema()
{
    db_->exec(R"SQL(
CREATE TABLE IF NOT EXISTS offices(id INTEGER PRIMARY KEY, code TEXT UNIQUE, name TEXT, furigana TEXT,
  disp_name TEXT, login_disp_name TEXT, counter INTEGER DEFAULT 0);
CREATE TABLE IF NOT EXISTS users(id INTEGER PRIMARY KEY, office_id INTEGER, login_id TEXT, salt TEXT, hash TEXT,
  profile TEXT DEFAULT '', UNIQUE(office_id, login_id));
CREATE TABLE IF NOT EXISTS clients(key TEXT PRIMARY KEY, user_id INTEGER, created TEXT, expired INTEGER DEFAULT 0);
CREATE TABLE IF NOT EXISTS access_keys(key TEXT PRIMARY KEY, client_key TEXT, user_id INTEGER, expires REAL,
  pc_name TEXT);
CREATE TABLE IF NOT EXISTS folders(id INTEGER PRIMARY KEY, office_id INTEGER, parent_id INTEGER, name TEXT,
  folder_style INTEGER DEFAULT 0, comment TEXT DEFAULT '', is_databox INTEGER DEFAULT 0, read_only INTEGER DEFAULT 0,
  update_name TEXT, update_time TEXT);
CREATE INDEX IF NOT EXISTS folders_parent ON folders(office_id, parent_id);
CREATE TABLE IF NOT EXISTS files(id INTEGER PRIMARY KEY, office_id INTEGER, folder_id INTEGER, name TEXT, ext TEXT,
  size INTEGER, digest TEXT, fake_digest TEXT DEFAULT '', update_id INTEGER, update_name TEXT, update_disp_name TEXT,
  update_time TEXT, comment TEXT DEFAULT '', comment_update_id INTEGER DEFAULT 0,
  comment_update_disp_name TEXT DEFAULT '', comment_update_time TEXT DEFAULT '', lock_key TEXT DEFAULT '',
  lock_id INTEGER DEFAULT 0, lock_disp_name TEXT DEFAULT '', tx_date TEXT DEFAULT '', tx_name TEXT DEFAULT '',
  tx_amount INTEGER, voucher_id INTEGER DEFAULT 0);
CREATE UNIQUE INDEX IF NOT EXISTS files_name ON files(folder_id, name COLLATE NOCASE);
DROP INDEX IF EXISTS files_office; -- it made the planner scan a whole office for one folder
CREATE TABLE IF NOT EXISTS deleted_files(office_id INTEGER, folder_id INTEGER, name TEXT COLLATE NOCASE,
  delete_time TEXT, delete_name TEXT);
CREATE TABLE IF NOT EXISTS favorites(user_id INTEGER, folder_id INTEGER, path TEXT, created INTEGER,
  PRIMARY KEY(user_id, folder_id, path));
CREATE TABLE IF NOT EXISTS notices(id INTEGER PRIMARY KEY, office_id INTEGER, title TEXT, body TEXT,
  popup INTEGER, created TEXT);
CREATE TABLE IF NOT EXISTS notice_reads(user_id INTEGER, notice_id INTEGER, PRIMARY KEY(user_id, notice_id));
CREATE TABLE IF NOT EXISTS filetypes(office_id INTEGER, pos INTEGER, access_type INTEGER, ext TEXT, name TEXT);
CREATE TABLE IF NOT EXISTS bulk_jobs(id INTEGER PRIMARY KEY, office_id INTEGER, user_id INTEGER, client_key TEXT,
  start_time TEXT, end_time TEXT DEFAULT '', status INTEGER, all_count INTEGER DEFAULT 0,
  failed_count INTEGER DEFAULT 0);
CREATE TABLE IF NOT EXISTS settings(key TEXT PRIMARY KEY, value TEXT);
)SQL");
}

std::string Service::blobPath(const std::string &digest) const
{
    return dataDir_ + "/blobs/" + digest.substr(0, 2) + "/" + digest;
}

std::string Service::storeBlob(const std::string &bytes)
{
    std::string d = md5Hex(bytes);
    std::string path = blobPath(d);
    if (!fs::exists(path)) {
        fs::create_directories(fs::path(path).parent_path());
        std::string tmp = dataDir_ + "/tmp/" + randomHex(8);
        {
            std::ofstream out(tmp, std::ios::binary);
            out.write(bytes.data(), std::streamsize(bytes.size()));
        }
        fs::rename(tmp, path);
    }
    return d;
}

std::map<std::string, std::string> Service::profile(int64_t user)
{
    std::map<std::string, std::string> p(profileDefaults().begin(), profileDefaults().end());
    auto st = db_->q("SELECT profile FROM users WHERE id=?", user);
    if (st.step()) {
        std::string text = st.t(0);
        size_t pos = 0;
        while (pos < text.size()) {
            size_t nl = text.find('\n', pos);
            if (nl == std::string::npos)
                nl = text.size();
            std::string line = text.substr(pos, nl - pos);
            size_t eq = line.find('=');
            if (eq != std::string::npos)
                p[line.substr(0, eq)] = line.substr(eq + 1);
            pos = nl + 1;
        }
    }
    return p;
}

std::string Service::profileValue(int64_t user, const std::string &key)
{
    auto p = profile(user);
    return p[key];
}

Service::Ctx Service::authenticate(const std::string &accessKey)
{
    if (accessKey.empty())
        fault("10002", "アクセスキーが指定されていません。", 401);
    auto st = db_->q(
        "SELECT a.client_key, a.user_id, a.expires, u.office_id FROM access_keys a JOIN users u ON "
        "u.id=a.user_id WHERE a.key=?",
        accessKey);
    if (!st.step())
        fault("10002", "アクセスキーが正しくありません。", 401);
    if (st.i(2) != 0 && double(st.i(2)) < nowSeconds())
        fault("10003", "アクセスキーの有効期限が切れています。", 401);
    Ctx c;
    c.accessKey = accessKey;
    c.clientKey = st.t(0);
    c.user = st.i(1);
    c.office = st.i(3);
    c.prof = profile(c.user);
    c.name = c.prof["name"];
    c.dispName = c.prof["dispName"];
    return c;
}

int64_t Service::uploadLimit(const std::string &accessKey)
{
    std::lock_guard<std::mutex> g(mutex_);
    db_->rollbackQuietly();
    return authenticate(accessKey).num("maxFileSize");
}

void Service::bump(int64_t office)
{
    db_->q("UPDATE offices SET counter = CASE WHEN counter >= 4294967295 THEN 1 ELSE counter + 1 "
           "END WHERE id=?",
           office)
        .run();
}

std::optional<Injection> Service::takeInjection(const std::string &op)
{
    std::lock_guard<std::mutex> g(injMutex_);
    auto it = injections_.find(op);
    if (it == injections_.end() || it->second.empty())
        return std::nullopt;
    Injection i = it->second.front();
    it->second.pop_front();
    return i;
}

void Service::applyArmedTouches(const std::string &op)
{
    std::vector<ArmedTouch> due;
    {
        std::lock_guard<std::mutex> g(injMutex_);
        for (auto it = touches_.begin(); it != touches_.end();) {
            if (it->op != op) {
                ++it;
            } else if (it->after > 0) {
                --it->after;
                ++it;
            } else {
                due.push_back(*it);
                it = touches_.erase(it);
            }
        }
    }
    for (const ArmedTouch &t : due) {
        auto st = db_->q("SELECT office_id FROM files WHERE id=?", t.fileId);
        if (!st.step())
            continue; // gone meanwhile: nothing to touch
        const int64_t office = st.i(0);
        if (t.newContent) {
            const std::string d = storeBlob(t.content);
            db_->q("UPDATE files SET size=?, digest=?, fake_digest='', update_time=? WHERE id=?",
                   int64_t(t.content.size()), d, nowText(), t.fileId)
                .run();
        } else {
            db_->q("UPDATE files SET update_time=? WHERE id=?", nowText(), t.fileId).run();
        }
        bump(office);
    }
}

void Service::logRequest(const std::string &method, const std::string &op, int status)
{
    std::lock_guard<std::mutex> g(logMutex_);
    log_.push_back({++logSeq_, method, op, status});
}

static std::string faultXml(const std::string &code, const std::string &message)
{
    Xml x;
    x.s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    x.open("velquor")
        .open("apiFault")
        .el("code", code)
        .el("message", message)
        .close("apiFault")
        .close("velquor");
    return x.s;
}

ApiReply Service::api(ApiRequest &req)
{
    ApiReply reply;
    std::optional<Injection> inj = takeInjection(req.op);
    if (inj && inj->mode == "delay") {
        std::this_thread::sleep_for(std::chrono::milliseconds(inj->delayMs));
        inj.reset();
    }
    if (inj && inj->mode != "cut" && inj->mode != "wrongbytes" && inj->mode != "dropchild") {
        reply.status = inj->status;
        if (inj->mode == "fault") {
            reply.body = faultXml(inj->code, inj->message);
        } else if (inj->mode == "html") {
            reply.contentType = "text/html; charset=UTF-8";
            reply.body
                = "<html><head><title>Service "
                  "Unavailable</title></head><body><h1>メンテナンス中</h1>"
                  "<p>ただいまメンテナンス中です。<br>しばらくお待ちください。</p></body></html>";
        } else if (inj->mode == "empty") {
            reply.body.clear();
        } else { // noelement: a success without the response element
            reply.status = 200;
            reply.body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><velquor></velquor>";
        }
        logRequest(req.method, req.op, reply.status);
        return reply;
    }
    try {
        std::lock_guard<std::mutex> g(mutex_);
        // Whatever went wrong before, no transaction outlives its request.
        db_->rollbackQuietly();
        db_->exec("BEGIN IMMEDIATE");
        try {
            applyArmedTouches(req.op);
            reply = dispatch(req);
            db_->exec("COMMIT");
        } catch (...) {
            db_->rollbackQuietly();
            throw;
        }
    } catch (const Fault &f) {
        reply = ApiReply();
        reply.status = f.status;
        reply.body = faultXml(f.code, f.message);
    } catch (const std::exception &e) {
        reply = ApiReply();
        reply.status = 500;
        reply.body = faultXml("10004", std::string("サーバー内部エラー: ") + e.what());
    } catch (...) {
        reply = ApiReply();
        reply.status = 500;
        reply.body = faultXml("10004", "サーバー内部エラー");
    }
    if (inj && inj->mode == "dropchild" && !reply.stream) {
        // An answer whose index-th <child> element is missing (an entry the client cannot
        // use): everything else as the operation answered it.
        const std::string open = "<" + inj->child + ">", close = "</" + inj->child + ">";
        size_t at = std::string::npos, from = 0;
        for (int i = 0; i < inj->index; ++i) {
            at = reply.body.find(open, from);
            if (at == std::string::npos)
                break;
            from = at + open.size();
        }
        const size_t end = at == std::string::npos ? at : reply.body.find(close, at);
        if (end != std::string::npos)
            reply.body.erase(at, end + close.size() - at);
    }
    if (inj) {
        reply.cut = inj->mode == "cut";
        reply.wrongBytes = reply.stream && inj->mode == "wrongbytes";
    }
    logRequest(req.method, req.op, reply.status);
    return reply;
}

namespace {

using Handler = std::function<ApiReply(Service &, Service::Ctx &, ApiRequest &)>;

// Most operations answer one element; it goes out inside the <velquor> document.
Handler xml(std::function<std::string(Service &, Service::Ctx &, ApiRequest &)> op)
{
    return [op = std::move(op)](Service &s, Service::Ctx &c, ApiRequest &r) {
        ApiReply reply;
        reply.body
            = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><velquor>" + op(s, c, r) + "</velquor>";
        return reply;
    };
}

} // namespace

const std::vector<Service::Operation> &Service::operations()
{
    using R = ApiRequest;
    // The operations that share one handler tell themselves apart by the last part of the path.
    static const Handler favorite = xml([](Service &s, Ctx &c, R &r) {
        return s.opFavorite(c, r.params, r.op.substr(std::string("favorite/").size()));
    });
    static const Handler bulk = xml([](Service &s, Ctx &c, R &r) {
        return s.opBulk(c, r.params, r.op.substr(std::string("bulkdownload/").size()));
    });
    static const std::vector<Operation> table = {
        {"register", "POST", false,
         xml([](Service &s, Ctx &, R &r) { return s.opRegister(r.params); })},
        {"login", "POST", false, xml([](Service &s, Ctx &, R &r) { return s.opLogin(r.params); })},
        {"logout", "POST", true, xml([](Service &s, Ctx &c, R &) { return s.opLogout(c); })},
        {"updatecounter", "GET", true,
         xml([](Service &s, Ctx &c, R &) { return s.opUpdateCounter(c); })},
        {"workspace/list", "GET", true, xml([](Service &s, Ctx &c, R &r) {
             return s.opWorkspaceList(c, r.params, ListKind::List);
         })},
        {"workspace/count", "GET", true, xml([](Service &s, Ctx &c, R &r) {
             return s.opWorkspaceList(c, r.params, ListKind::Count);
         })},
        {"workspace/offset", "GET", true, xml([](Service &s, Ctx &c, R &r) {
             return s.opWorkspaceList(c, r.params, ListKind::Offset);
         })},
        {"workspace/info", "GET", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opWorkspaceInfo(c, r.params); })},
        {"workspace/create", "POST", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opWorkspaceCreate(c, r.params); })},
        {"workspace/update", "POST", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opWorkspaceUpdate(c, r.params); })},
        {"workspace/delete", "POST", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opWorkspaceDelete(c, r.params); })},
        {"workspace/move", "POST", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opWorkspaceMove(c, r.params); })},
        {"workspace/copy", "POST", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opWorkspaceCopy(c, r.params); })},
        {"workspace/find", "POST", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opWorkspaceFind(c, r.params); })},
        {"file/list", "GET", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opFileList(c, r.params, ListKind::List); })},
        {"file/count", "GET", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opFileList(c, r.params, ListKind::Count); })},
        {"file/offset", "GET", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opFileList(c, r.params, ListKind::Offset); })},
        {"file/info", "GET", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opFileInfo(c, r.params); })},
        {"file/get", "GET", true, [](Service &s, Ctx &c, R &r) { return s.opFileGet(c, r); }},
        {"file/create", "POST", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opFileUpload(c, r, true); })},
        {"file/update", "POST", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opFileUpload(c, r, false); })},
        {"file/delete", "POST", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opFileDelete(c, r.params); })},
        {"file/lock", "POST", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opFileLock(c, r.params, true); })},
        {"file/unlock", "POST", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opFileLock(c, r.params, false); })},
        {"file/move", "POST", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opFileMoveCopy(c, r.params, true); })},
        {"file/copy", "POST", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opFileMoveCopy(c, r.params, false); })},
        {"file/voucher/create", "POST", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opVoucher(c, r.params); })},
        {"file/comment/create", "POST", true,
         xml([](Service &s, Ctx &c, R &r) { return s.opComment(c, r.params); })},
        {"favorite/count", "GET", true, favorite},
        {"favorite/list", "GET", true, favorite},
        {"favorite/info", "GET", true, favorite},
        {"favorite/create", "POST", true, favorite},
        {"favorite/delete", "POST", true, favorite},
        {"filetype/count", "GET", true,
         xml([](Service &s, Ctx &c, R &) { return s.opFileTypes(c, false); })},
        {"filetype/list", "GET", true,
         xml([](Service &s, Ctx &c, R &) { return s.opFileTypes(c, true); })},
        {"information/count", "GET", true,
         xml([](Service &s, Ctx &c, R &) { return s.opInformationCount(c); })},
        {"bulkdownload/info", "GET", true, bulk},
        {"bulkdownload/start", "POST", true, bulk},
        {"bulkdownload/end", "POST", true, bulk},
        {"autoupdate/version", "GET", true,
         xml([](Service &s, Ctx &, R &) { return s.opAutoUpdateVersion(); })},
        {"autoupdate/get", "GET", true, [](Service &s, Ctx &, R &) { return s.opAutoUpdateGet(); }},
    };
    return table;
}

ApiReply Service::dispatch(ApiRequest &r)
{
    const auto &ops = operations();
    auto op
        = std::find_if(ops.begin(), ops.end(), [&](const Operation &o) { return o.path == r.op; });
    if (op == ops.end())
        fault("10004", "この操作はありません: " + r.op, 404);
    if (op->method != r.method)
        fault("10004", "この操作は " + op->method + " で呼び出してください。", 405);
    Ctx c = op->needsKey ? authenticate(r.accessKey) : Ctx();
    return op->handler(*this, c, r);
}

// ---------------------------------------------------------------------------
// Account

std::string Service::opRegister(const Params &p)
{
    std::string code = param(p, "customerCode"), login = param(p, "loginId");
    if (code.empty() || login.empty())
        fault("20103", "事業所IDとログインIDを指定してください。", 401);
    auto st = db_->q("SELECT u.id FROM users u JOIN offices o ON o.id=u.office_id WHERE o.code=? "
                     "AND u.login_id=?",
                     code, login);
    if (!st.step())
        fault("20103", "事業所IDまたはログインIDが正しくありません。", 401);
    int64_t user = st.i(0);
    std::string key = randomHex(16);
    db_->q("INSERT INTO clients(key, user_id, created) VALUES(?,?,?)", key, user, nowText()).run();
    Xml x;
    x.open("registerResponse").el("clientKey", key).close("registerResponse");
    return x.s;
}

std::string Service::opLogin(const Params &p)
{
    std::string clientKey = param(p, "clientKey"), password = param(p, "password");
    auto st = db_->q(
        "SELECT c.user_id, c.expired, u.salt, u.hash, u.office_id FROM clients c JOIN users u ON "
        "u.id=c.user_id WHERE c.key=?",
        clientKey);
    if (clientKey.empty() || !st.step())
        fault("20203", "クライアントキーが登録されていません。", 401);
    if (st.i(1))
        fault("10003", "クライアントキーの有効期限が切れています。", 401);
    int64_t user = st.i(0), office = st.i(4);
    if (pbkdf2Hex(password, st.t(2)) != st.t(3))
        fault("20103", "パスワードが正しくありません。", 401);
    std::string key = randomHex(16);
    double expires = accessKeyLifetime_ > 0 ? nowSeconds() + double(accessKeyLifetime_) : 0.0;
    db_->q("INSERT INTO access_keys(key, client_key, user_id, expires, pc_name) VALUES(?,?,?,?,?)",
           key, clientKey, user, int64_t(expires), param(p, "pcName"))
        .run();
    auto prof = profile(user);
    auto o = db_->q("SELECT name, furigana, disp_name, login_disp_name FROM offices WHERE id=?",
                    office);
    o.step();
    prof["customerName"] = o.t(0);
    prof["customerFurigana"] = o.t(1);
    prof["customerDispName"] = o.t(2);
    prof["customerLoginDispName"] = o.t(3);
    prof["id"] = std::to_string(user);
    prof["pcName"] = param(p, "pcName");
    static const char *order[] = {"bulkDownloadDisableH1From",
                                  "bulkDownloadDisableH1To",
                                  "bulkDownloadDisableH2From",
                                  "bulkDownloadDisableH2To",
                                  "customerDispName",
                                  "customerFurigana",
                                  "customerLoginDispName",
                                  "customerName",
                                  "deleteCache",
                                  "dispName",
                                  "furigana",
                                  "generationNum",
                                  "id",
                                  "manualUrl",
                                  "maxFavoriteCount",
                                  "maxFileCommentLength",
                                  "maxFileCopy",
                                  "maxFileCreate",
                                  "maxFileMove",
                                  "maxFileNameLength",
                                  "maxFileNum",
                                  "maxFileSize",
                                  "maxFolderCommentLength",
                                  "maxFolderDepth",
                                  "maxRootFolderLength",
                                  "maxSubFolderLength",
                                  "name",
                                  "pcName",
                                  "privBulkDownload",
                                  "privBulkUpload",
                                  "privBulkUploadDataBox",
                                  "privDataBox",
                                  "privEmptyFileUpload",
                                  "privEditDataBox",
                                  "privFileCommentEditDataBox",
                                  "privFileCreate",
                                  "privFileCreateDataBox",
                                  "privFileDelete",
                                  "privFileDeleteDataBox",
                                  "privFileDownload",
                                  "privFileDownloadDataBox",
                                  "privFileMove",
                                  "privFileMoveDataBox",
                                  "privFileOverwrite",
                                  "privFileOverwriteDataBox",
                                  "privFileRename",
                                  "privFileRenameDataBox",
                                  "privFolderCreate",
                                  "privFolderCreateDataBox",
                                  "privFolderDelete",
                                  "privFolderDeleteDataBox",
                                  "privFolderMove",
                                  "privFolderMoveDataBox",
                                  "privReadonlyCreate",
                                  "privReadonlyCreateDataBox",
                                  "privWeb"};
    Xml x;
    x.open("loginResponse").el("accessKey", key);
    for (const char *k : order) {
        const std::string &v = prof[k];
        if (isFlagKey(k))
            x.flag(k, std::atoll(v.c_str()) != 0);
        else
            x.el(k, v);
    }
    x.open("relatedSiteUrl")
        .el("twitter", prof["twitter"])
        .el("youtube", prof["youtube"])
        .close("relatedSiteUrl");
    x.el("shop", prof["shop"]).el("remoteSupportURL", prof["remoteSupportURL"]);
    x.flag("showUpdateTime", std::atoll(prof["showUpdateTime"].c_str()) != 0)
        .el("type", prof["type"]);
    x.close("loginResponse");
    return x.s;
}

std::string Service::opLogout(Ctx &c)
{
    db_->q("DELETE FROM access_keys WHERE key=?", c.accessKey).run();
    return "<logoutResponse></logoutResponse>";
}

std::string Service::opUpdateCounter(Ctx &c)
{
    auto st = db_->q("SELECT counter FROM offices WHERE id=?", c.office);
    st.step();
    Xml x;
    x.open("updatecounterResponse").el("count", st.i(0)).close("updatecounterResponse");
    return x.s;
}

} // namespace devserver
