#include "ServiceImpl.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace devserver {

// ---------------------------------------------------------------------------
// Favourites

std::string Service::opFavorite(Ctx &c, const Params &p, const std::string &what)
{
    if (what == "count") {
        auto st = db_->q("SELECT COUNT(*) FROM favorites WHERE user_id=?", c.user);
        st.step();
        Xml x;
        x.open("countResponse").el("count", st.i(0)).close("countResponse");
        return x.s;
    }
    auto writeEntry = [&](Xml &x, int64_t folderId, const std::string &path, bool forInfo) {
        auto folder = loadFolder(c.office, folderId);
        bool folderOk = folder && (!folder->databox || c.right("privDataBox"));
        if (path.empty()) {
            if (!folderOk) {
                if (forInfo)
                    fault("70002", "フォルダが存在しません。", 404);
                x.el("accessible", 0).el("as", 1);
                return;
            }
            x.el("accessible", 1)
                .el("as", 1)
                .el("comment", folder->comment)
                .el("folderStyle", folder->style);
            x.el("id", folder->id);
            return;
        }
        if (!folderOk) {
            if (forInfo)
                fault("70002", "フォルダが存在しません。", 404);
            x.el("accessible", 0).el("as", 2);
            return;
        }
        auto file = loadFile(c.office, folderId, fileNameOf(path));
        if (!file) {
            if (forInfo)
                requireFile(c, *folder, fileNameOf(path), true);
            x.el("accessible", 0).el("as", 2);
            return;
        }
        x.el("accessible", 1).el("as", 2);
        writeFile(x, c, *file, true);
    };
    if (what == "list") {
        struct Entry
        {
            int64_t folder;
            std::string path, key1, name;
            int64_t created;
        };
        std::vector<Entry> entries;
        {
            auto st
                = db_->q("SELECT folder_id, path, created FROM favorites WHERE user_id=?", c.user);
            while (st.step())
                entries.push_back({st.i(0), st.t(1), "", "", st.i(2)});
        }
        std::string sort = param(p, "sort");
        for (Entry &e : entries) {
            if (e.path.empty()) {
                auto f = loadFolder(c.office, e.folder);
                e.name = f ? f->name : "";
                e.key1 = f ? (sort == "updateTime"   ? f->updateTime
                              : sort == "updateName" ? f->updateName
                                                     : "")
                           : "";
            } else {
                e.name = fileNameOf(e.path);
                auto f = loadFile(c.office, e.folder, e.name);
                if (f)
                    e.key1 = sort == "updateTime"   ? f->updateTime
                             : sort == "updateName" ? f->updateName
                             : sort == "fileSize"   ? std::to_string(1000000000000 + f->size)
                                                    : "";
            }
        }
        bool desc = toLowerAscii(param(p, "dir")) == "desc";
        std::stable_sort(entries.begin(), entries.end(), [&](const Entry &a, const Entry &b) {
            int r = a.key1.compare(b.key1);
            if (r == 0)
                r = toLowerAscii(a.name).compare(toLowerAscii(b.name));
            if (r == 0)
                r = a.created < b.created ? -1 : (a.created > b.created ? 1 : 0);
            return desc ? r > 0 : r < 0;
        });
        Xml x;
        x.open("listResponse").open("favorites");
        for (const Entry &e : entries) {
            x.open("favorite");
            writeEntry(x, e.folder, e.path, false);
            x.close("favorite");
        }
        x.close("favorites").close("listResponse");
        return x.s;
    }
    int64_t folderId = paramInt(p, "workspaceId");
    std::string path = param(p, "path");
    if (!path.empty())
        path = "/" + fileNameOf(path);
    if (what == "info") {
        Xml x;
        x.open("infoResponse").open("favorite");
        writeEntry(x, folderId, path, true);
        x.close("favorite").close("infoResponse");
        return x.s;
    }
    bool exists = db_->q("SELECT 1 FROM favorites WHERE user_id=? AND folder_id=? AND path=?",
                         c.user, folderId, path)
                      .step();
    if (what == "create") {
        if (exists)
            fault("70009", "既にお気に入り登録されています。", 409);
        Folder f = requireFolder(c, folderId, !path.empty());
        if (!path.empty())
            requireFile(c, f, fileNameOf(path));
        auto st = db_->q("SELECT COUNT(*) FROM favorites WHERE user_id=?", c.user);
        st.step();
        if (st.i(0) >= c.num("maxFavoriteCount"))
            fault("10004", "お気に入り登録数が上限を超えています。");
        auto seq = db_->q("SELECT COALESCE(MAX(created), 0) + 1 FROM favorites");
        seq.step();
        db_->q("INSERT INTO favorites(user_id, folder_id, path, created) VALUES(?,?,?,?)", c.user,
               folderId, path, seq.i(0))
            .run();
        return "<createResponse></createResponse>";
    }
    if (what == "delete") {
        if (!exists)
            fault("70010", "既にお気に入りから解除されています。", 409);
        db_->q("DELETE FROM favorites WHERE user_id=? AND folder_id=? AND path=?", c.user, folderId,
               path)
            .run();
        return "<deleteResponse></deleteResponse>";
    }
    fault("10004", "この操作はありません。", 404);
}

// ---------------------------------------------------------------------------
// File types, notices, bulk download, update

std::string Service::opFileTypes(Ctx &c, bool list)
{
    Xml x;
    if (!list) {
        auto st = db_->q("SELECT COUNT(*) FROM filetypes WHERE office_id=?", c.office);
        st.step();
        x.open("countResponse").el("count", st.i(0)).close("countResponse");
        return x.s;
    }
    auto st = db_->q("SELECT access_type, ext, name FROM filetypes WHERE office_id=? ORDER BY pos",
                     c.office);
    x.open("listResponse").open("fileTypes");
    while (st.step())
        x.open("fileType")
            .el("accessType", st.i(0))
            .el("ext", st.t(1))
            .el("name", st.t(2))
            .close("fileType");
    x.close("fileTypes").close("listResponse");
    return x.s;
}

std::string Service::opInformationCount(Ctx &c)
{
    auto st = db_->q(
        "SELECT COUNT(*), SUM(r.notice_id IS NULL), SUM(r.notice_id IS NULL AND n.popup<>0) FROM "
        "notices "
        "n LEFT JOIN notice_reads r ON r.notice_id=n.id AND r.user_id=? WHERE n.office_id=?",
        c.user, c.office);
    st.step();
    Xml x;
    x.open("countResponse")
        .el("allInformationCount", st.i(0))
        .el("unreadInformationCount", st.i(1));
    x.el("unreadPopupInformationCount", st.i(2)).close("countResponse");
    return x.s;
}

std::string Service::opBulk(Ctx &c, const Params &p, const std::string &what)
{
    Xml x;
    if (what == "info") {
        auto st = db_->q("SELECT id, start_time, end_time, status FROM bulk_jobs WHERE office_id=? "
                         "ORDER BY id DESC "
                         "LIMIT 1",
                         c.office);
        x.open("infoResponse");
        if (st.step())
            x.el("endTime", st.t(2))
                .el("jobId", st.i(0))
                .el("startTime", st.t(1))
                .el("status", st.i(3));
        else
            x.el("endTime", "").el("jobId", 0).el("startTime", "").el("status", 0);
        x.close("infoResponse");
        return x.s;
    }
    if (what == "start") {
        if (!c.right("privBulkDownload"))
            fault("30004", "一括ダウンロードの権限がありません。", 403);
        if (db_->q("SELECT 1 FROM bulk_jobs WHERE office_id=? AND status=1", c.office).step())
            fault("60001", "他のクライアントにより一括ダウンロードを実行中です。", 409);
        std::string start = param(p, "startTime");
        if (start.empty())
            start = nowText();
        db_->q("INSERT INTO bulk_jobs(office_id, user_id, client_key, start_time, status) "
               "VALUES(?,?,?,?,1)",
               c.office, c.user, c.clientKey, start)
            .run();
        x.open("startResponse")
            .el("clientKey", c.clientKey)
            .el("jobId", db_->lastId())
            .el("userId", c.user);
        x.el("userName", c.name).close("startResponse");
        return x.s;
    }
    if (what == "end") {
        int64_t job = paramInt(p, "jobId");
        if (!db_->q("SELECT 1 FROM bulk_jobs WHERE id=? AND office_id=?", job, c.office).step())
            fault("10004", "ジョブが見つかりません。(jobId=" + std::to_string(job) + ")", 404);
        int64_t status = paramInt(p, "status", 9);
        if (status != 9 && status != 99)
            fault("10004", "status は 9 または 99 を指定してください。");
        std::string end = param(p, "endTime");
        if (end.empty())
            end = nowText();
        int64_t all = paramIn(p, "allCount", 0, 0, INT32_MAX),
                failed = paramIn(p, "failedCount", 0, 0, INT32_MAX);
        db_->q("UPDATE bulk_jobs SET end_time=?, status=?, all_count=?, failed_count=? WHERE id=?",
               end, status, all, failed, job)
            .run();
        x.open("endResponse")
            .el("allCount", all)
            .el("endTime", end)
            .el("failedCount", failed)
            .el("jobId", job);
        x.el("status", status).el("userId", c.user).el("userName", c.name).close("endResponse");
        return x.s;
    }
    fault("10004", "この操作はありません。", 404);
}

std::string Service::opAutoUpdateVersion()
{
    auto get = [&](const char *k) {
        auto st = db_->q("SELECT value FROM settings WHERE key=?", std::string(k));
        return st.step() ? st.t(0) : std::string();
    };
    // The children a test asked to leave out (update hook, omit=a,b).
    const std::string omit = "," + get("update_omit") + ",";
    Xml x;
    x.open("versionResponse");
    for (const char *child : {"fileDigest", "fileName", "fileSize", "version"}) {
        if (omit.find("," + std::string(child) + ",") != std::string::npos)
            continue;
        const char *key = child == std::string("fileDigest") ? "update_digest"
                          : child == std::string("fileName") ? "update_file_name"
                          : child == std::string("fileSize") ? "update_size"
                                                             : "update_version";
        x.el(child, get(key));
    }
    x.close("versionResponse");
    return x.s;
}

ApiReply Service::opAutoUpdateGet()
{
    // The stored bytes, which a test may announce under another digest (update_blob).
    auto st = db_->q("SELECT value FROM settings WHERE key IN ('update_blob', 'update_digest') "
                     "ORDER BY key='update_blob' DESC LIMIT 1");
    if (!st.step())
        fault("10004", "更新パッケージがありません。", 404);
    ApiReply reply;
    reply.stream = true;
    reply.digest = st.t(0);
    reply.filePath = blobPath(reply.digest);
    reply.fileSize = int64_t(fs::file_size(reply.filePath));
    reply.contentType = "application/octet-stream";
    return reply;
}

// ---------------------------------------------------------------------------
// Web pages

std::string Service::webPage(const std::string &page,
                             const std::map<std::string, std::string> &params)
{
    std::string command = param(params, "command");
    std::string key = param(params, "accessKey");
    bool signedIn = false;
    {
        std::lock_guard<std::mutex> g(mutex_);
        auto st = db_->q("SELECT user_id FROM access_keys WHERE key=?", key);
        if (!key.empty() && st.step()) {
            signedIn = true;
            int64_t user = st.i(0);
            if (command == "info" || command == "popup")
                db_->q("INSERT OR IGNORE INTO notice_reads(user_id, notice_id) SELECT ?, n.id FROM "
                       "notices n JOIN "
                       "users u ON u.office_id=n.office_id WHERE u.id=?",
                       user, user)
                    .run();
        }
    }
    logRequest("GET", "web/" + page, 200);
    return "<!DOCTYPE html><html lang=\"ja\"><head><meta charset=\"UTF-8\"><title>VELQUOR "
           + xmlEscape(page) + "</title></head><body><h1>VELQUOR</h1><p id=\"page\">"
           + xmlEscape(page) + "</p><p id=\"command\">" + xmlEscape(command)
           + "</p><p id=\"signedIn\">" + (signedIn ? "true" : "false") + "</p></body></html>";
}

// ---------------------------------------------------------------------------
// Test hooks

int Service::hook(const std::string &name, const std::map<std::string, std::string> &p,
                  std::string &out)
{
    // A hook that fails answers why and leaves nothing behind: no open transaction, no lock.
    try {
        return runHook(name, p, out);
    } catch (const Fault &f) {
        out = f.code + " " + f.message;
    } catch (const std::exception &e) {
        out = e.what();
    } catch (...) {
        out = "hook failed";
    }
    std::lock_guard<std::mutex> g(mutex_);
    db_->rollbackQuietly();
    return 400;
}

int Service::runHook(const std::string &name, const std::map<std::string, std::string> &p,
                     std::string &out)
{
    if (name == "fail") {
        Injection inj;
        inj.mode = param(p, "mode", "fault");
        static const std::set<std::string> modes
            = {"fault", "html", "empty", "noelement", "delay", "cut", "wrongbytes", "dropchild"};
        if (!modes.count(inj.mode)) {
            out = "unknown mode";
            return 400;
        }
        inj.code = param(p, "code", "10004");
        inj.message = param(p, "message", "テスト用の障害です。");
        // Bounded, so that no call can make the server answer garbage or wait for ever.
        inj.status = int(paramIn(p, "status", 500, 100, 599));
        inj.delayMs = int(paramIn(p, "ms", 1000, 0, 120000));
        inj.child = param(p, "child", "digest");
        inj.index = int(paramIn(p, "index", 2, 1, 1000000));
        std::string op = param(p, "op");
        if (op.empty()) {
            out = "op missing";
            return 400;
        }
        int count = int(paramIn(p, "count", 1, 1, 100000));
        std::lock_guard<std::mutex> g(injMutex_);
        for (int i = 0; i < count; ++i)
            injections_[op].push_back(inj);
        out = "ok";
        return 200;
    }
    if (name == "fail/clear") {
        // Drops the failures not yet used (of one op, or all).
        std::string op = param(p, "op");
        std::lock_guard<std::mutex> g(injMutex_);
        if (op.empty())
            injections_.clear();
        else
            injections_.erase(op);
        out = "ok";
        return 200;
    }
    if (name == "log") {
        std::string op = param(p, "op");
        int64_t since = paramInt(p, "since", 0);
        std::lock_guard<std::mutex> g(logMutex_);
        for (const LogEntry &e : log_)
            if (e.seq > since && (op.empty() || e.op == op))
                out += std::to_string(e.seq) + " " + e.method + " " + e.op + " "
                       + std::to_string(e.status) + "\n";
        return 200;
    }
    if (name == "log/clear") {
        std::lock_guard<std::mutex> g(logMutex_);
        log_.clear();
        out = "ok";
        return 200;
    }

    std::lock_guard<std::mutex> g(mutex_);
    auto officeSt = db_->q("SELECT id FROM offices WHERE code=?", param(p, "office", "demo"));
    if (!officeSt.step()) {
        out = "unknown office";
        return 404;
    }
    int64_t office = officeSt.i(0);
    auto resolveFolder
        = [&](const std::string &idKey, const std::string &pathKey, int64_t &id) -> bool {
        if (p.count(idKey)) {
            id = std::atoll(param(p, idKey).c_str());
            return id == 0 || loadFolder(office, id).has_value();
        }
        std::string path = param(p, pathKey);
        id = 0;
        size_t pos = 0;
        while (pos <= path.size()) {
            size_t slash = path.find('/', pos);
            if (slash == std::string::npos)
                slash = path.size();
            std::string seg = path.substr(pos, slash - pos);
            pos = slash + 1;
            if (seg.empty())
                continue;
            auto st = db_->q("SELECT id FROM folders WHERE office_id=? AND parent_id=? AND name=?",
                             office, id, seg);
            if (!st.step())
                return false;
            id = st.i(0);
        }
        return p.count(pathKey) > 0;
    };
    int64_t folderId = 0;
    bool hasFolder = resolveFolder("workspaceId", "folderPath", folderId);
    std::string fileName = fileNameOf(param(p, "path"));
    std::optional<File> file;
    if (hasFolder && !fileName.empty())
        file = loadFile(office, folderId, fileName);
    auto needFolder = [&]() {
        if (!hasFolder || folderId == 0)
            throw std::runtime_error("folder not found");
    };
    auto needFile = [&]() {
        if (!file)
            throw std::runtime_error("file not found");
    };
    db_->rollbackQuietly();
    db_->exec("BEGIN IMMEDIATE");
    try {
        int status = 200;
        out = "ok";
        if (name == "folder") {
            needFolder();
            out = std::to_string(folderId);
        } else if (name == "file") {
            needFile();
            out = std::to_string(file->id) + " " + std::to_string(file->size) + " " + file->digest
                  + " " + file->lockKey;
        } else if (name == "lock") {
            needFile();
            std::string key = param(p, "clientKey");
            int64_t user = 0;
            std::string disp;
            auto st = db_->q("SELECT u.id FROM users u WHERE u.office_id=? AND u.login_id=?",
                             office, param(p, "loginId", "suzuki"));
            if (st.step())
                user = st.i(0);
            if (!key.empty()) {
                auto k = db_->q("SELECT user_id FROM clients WHERE key=?", key);
                if (k.step())
                    user = k.i(0);
            }
            if (user == 0)
                throw std::runtime_error("user not found");
            disp = profileValue(user, "dispName");
            if (key.empty()) {
                auto k = db_->q("SELECT key FROM clients WHERE user_id=? ORDER BY rowid LIMIT 1",
                                user);
                if (k.step())
                    key = k.t(0);
                else {
                    key = randomHex(16);
                    db_->q("INSERT INTO clients(key, user_id, created) VALUES(?,?,?)", key, user,
                           nowText())
                        .run();
                }
            }
            db_->q("UPDATE files SET lock_key=?, lock_id=?, lock_disp_name=? WHERE id=?", key, user,
                   disp, file->id)
                .run();
            bump(office);
        } else if (name == "unlock") {
            needFile();
            db_->q("UPDATE files SET lock_key='', lock_id=0, lock_disp_name='' WHERE id=?",
                   file->id)
                .run();
            bump(office);
        } else if (name == "file/delete") {
            needFile();
            recordDeleted(office, folderId, file->name, param(p, "deleteName", "管理者"));
            db_->q("DELETE FROM files WHERE id=?", file->id).run();
            bump(office);
        } else if (name == "file/rename" || name == "file/move") {
            needFile();
            int64_t dst = folderId;
            if (name == "file/move" && !resolveFolder("dstWorkspaceId", "dstFolderPath", dst))
                throw std::runtime_error("destination not found");
            std::string newName = param(p, "name", file->name);
            db_->q("UPDATE files SET folder_id=?, name=?, ext=? WHERE id=?", dst, newName,
                   extOf(newName), file->id)
                .run();
            bump(office);
        } else if (name == "file/content") {
            needFile();
            std::string content = param(p, "content");
            std::string d = storeBlob(content);
            db_->q("UPDATE files SET size=?, digest=?, fake_digest='', update_time=? WHERE id=?",
                   int64_t(content.size()), d, nowText(), file->id)
                .run();
            bump(office);
        } else if (name == "touch") {
            // A change that lands between two requests of a client's walk, exactly where the
            // test wants it: after `after` more requests of `op`, before the next one.
            needFile();
            ArmedTouch t;
            t.op = param(p, "op", "file/list");
            t.after = int(paramIn(p, "after", 1, 0, 1000000));
            t.fileId = file->id;
            t.newContent = p.count("content") > 0;
            t.content = param(p, "content");
            std::lock_guard<std::mutex> gi(injMutex_);
            touches_.push_back(t);
        } else if (name == "file/wrongdigest") {
            needFile();
            std::string d = paramFlag(p, "clear") ? "" : param(p, "digest", std::string(32, '0'));
            db_->q("UPDATE files SET fake_digest=? WHERE id=?", d, file->id).run();
        } else if (name == "folder/delete") {
            needFolder();
            for (int64_t id : subtree(office, folderId)) {
                db_->q("DELETE FROM files WHERE folder_id=?", id).run();
                db_->q("DELETE FROM folders WHERE id=?", id).run();
            }
            bump(office);
        } else if (name == "folder/rename") {
            needFolder();
            db_->q("UPDATE folders SET name=? WHERE id=?", param(p, "name"), folderId).run();
            bump(office);
        } else if (name == "folder/move") {
            needFolder();
            int64_t dst = 0;
            if (!resolveFolder("dstWorkspaceId", "dstFolderPath", dst))
                throw std::runtime_error("destination not found");
            // A folder under itself would make a cycle that every later walk follows.
            const std::vector<int64_t> below = subtree(office, folderId);
            if (std::find(below.begin(), below.end(), dst) != below.end())
                fault("30004", "移動するフォルダ自身の下へは移動できません。");
            db_->q("UPDATE folders SET parent_id=? WHERE id=?", dst, folderId).run();
            bump(office);
        } else if (name == "samename") {
            // The office's rule for a taken name in file create, copy and move; "default"
            // goes back to each operation's own.
            std::string rule = param(p, "rule");
            std::string key = "samename:" + std::to_string(office);
            if (rule == "default") {
                db_->q("DELETE FROM settings WHERE key=?", key).run();
            } else if (rule == "overwrite" || rule == "unique" || rule == "refuse") {
                db_->q("INSERT OR REPLACE INTO settings(key, value) VALUES(?,?)", key, rule).run();
            } else {
                status = 400;
                out = "rule must be overwrite, unique, refuse or default";
            }
        } else if (name == "expire") {
            if (p.count("accessKey"))
                db_->q("UPDATE access_keys SET expires=1 WHERE key=?", param(p, "accessKey")).run();
            else if (p.count("clientKey"))
                db_->q("UPDATE clients SET expired=1 WHERE key=?", param(p, "clientKey")).run();
            else
                db_->q("UPDATE access_keys SET expires=1 WHERE user_id IN (SELECT id FROM users "
                       "WHERE office_id=? AND "
                       "login_id=?)",
                       office, param(p, "loginId"))
                    .run();
            out = std::to_string(db_->changes());
        } else if (name == "user") {
            auto st = db_->q("SELECT id, profile FROM users WHERE office_id=? AND login_id=?",
                             office, param(p, "loginId"));
            if (!st.step())
                throw std::runtime_error("user not found");
            int64_t user = st.i(0);
            std::string prof = st.t(1);
            for (const auto &[k, v] : p) {
                if (k == "loginId" || k == "office")
                    continue;
                if (k == "password") {
                    std::string salt = randomHex(16);
                    db_->q("UPDATE users SET salt=?, hash=? WHERE id=?", salt, pbkdf2Hex(v, salt),
                           user)
                        .run();
                    continue;
                }
                prof += "\n" + k + "=" + v; // later lines win
            }
            db_->q("UPDATE users SET profile=? WHERE id=?", prof, user).run();
        } else if (name == "update") {
            std::string version = param(p, "version", "9.9.9.9");
            std::string content = param(p, "content", "VELQUOR setup package " + version + "\n");
            if (const int64_t size = paramIn(p, "size", -1, -1, int64_t(256) << 20); size >= 0) {
                // A large package without sending it through the hook: the content, filled up
                // with repeatable bytes.
                const size_t head = std::min(content.size(), size_t(size));
                content.resize(size_t(size));
                uint32_t x = 2463534242u;
                for (size_t i = head; i < content.size(); ++i) {
                    x ^= x << 13;
                    x ^= x >> 17;
                    x ^= x << 5;
                    content[i] = char(x & 0xff);
                }
            }
            std::string fileName = param(p, "fileName", "VELQUOR_Setup_" + version + ".exe");
            std::string d = storeBlob(content);
            for (auto [k, v] : std::vector<std::pair<std::string, std::string>>{
                     {"update_version", version},
                     {"update_file_name", fileName},
                     {"update_blob", d},
                     {"update_digest", param(p, "digest", d)},
                     {"update_size", std::to_string(content.size())},
                     {"update_omit", param(p, "omit")}})
                db_->q("INSERT OR REPLACE INTO settings(key, value) VALUES(?,?)", k, v).run();
        } else if (name == "notice") {
            db_->q("INSERT INTO notices(office_id, title, body, popup, created) VALUES(?,?,?,?,?)",
                   office, param(p, "title", "お知らせ"), param(p, "body"),
                   int64_t(paramFlag(p, "popup")), nowText())
                .run();
            out = std::to_string(db_->lastId());
        } else if (name == "files") {
            // Every file of the office, with its folder's names joined by "/".
            out.clear();
            std::map<int64_t, std::pair<int64_t, std::string>> folders;
            auto fs = db_->q("SELECT id, parent_id, name FROM folders WHERE office_id=?", office);
            while (fs.step())
                folders[fs.i(0)] = {fs.i(1), fs.t(2)};
            auto pathOf = [&](int64_t id) {
                std::string path;
                for (int depth = 0; id != 0 && depth < 64; ++depth) {
                    auto it = folders.find(id);
                    if (it == folders.end())
                        break;
                    path = path.empty() ? it->second.second : it->second.second + "/" + path;
                    id = it->second.first;
                }
                return path;
            };
            auto st = db_->q("SELECT f.folder_id, f.name, f.digest, f.size, f.update_time FROM "
                             "files f JOIN folders d ON d.id=f.folder_id WHERE d.office_id=? "
                             "ORDER BY f.id",
                             office);
            while (st.step())
                out += pathOf(st.i(0)) + "\t" + st.t(1) + "\t" + st.t(2) + "\t"
                       + std::to_string(st.i(3)) + "\t" + st.t(4) + "\n";
        } else if (name == "bulk/start") {
            // A job of another client of the office, as if it were running there now.
            auto st = db_->q("SELECT id FROM users WHERE office_id=? AND login_id=?", office,
                             param(p, "loginId", "suzuki"));
            if (!st.step())
                throw std::runtime_error("user not found");
            const int64_t user = st.i(0);
            db_->q("INSERT INTO bulk_jobs(office_id, user_id, client_key, start_time, status) "
                   "VALUES(?,?,?,?,1)",
                   office, user, param(p, "clientKey", "hook-client"),
                   param(p, "startTime", nowText()))
                .run();
            out = std::to_string(db_->lastId());
        } else if (name == "bulk/jobs") {
            // One line per job of the office, oldest first.
            out.clear();
            auto st = db_->q("SELECT id, status, start_time, IFNULL(end_time, ''), "
                             "IFNULL(all_count, 0), IFNULL(failed_count, 0) FROM bulk_jobs "
                             "WHERE office_id=? ORDER BY id",
                             office);
            while (st.step())
                out += std::to_string(st.i(0)) + "\t" + std::to_string(st.i(1)) + "\t" + st.t(2)
                       + "\t" + st.t(3) + "\t" + std::to_string(st.i(4)) + "\t"
                       + std::to_string(st.i(5)) + "\n";
        } else if (name == "bulk/finish") {
            db_->q("UPDATE bulk_jobs SET status=99, end_time=? WHERE office_id=? AND status=1",
                   nowText(), office)
                .run();
        } else if (name == "check") {
            // The store's soundness: SQLite's own check, then every folder's chain of parents
            // ends at the top within as many steps as there are folders, and every file lies in
            // a folder of its office.
            out.clear();
            {
                auto st = db_->q("PRAGMA integrity_check");
                while (st.step())
                    if (st.t(0) != "ok")
                        out += "integrity: " + st.t(0) + "\n";
            }
            std::map<int64_t, std::pair<int64_t, int64_t>> parents; // id -> office, parent
            {
                auto st = db_->q("SELECT id, office_id, parent_id FROM folders");
                while (st.step())
                    parents[st.i(0)] = {st.i(1), st.i(2)};
            }
            for (const auto &[id, of] : parents) {
                int64_t at = of.second;
                size_t steps = 0;
                while (at != 0 && steps <= parents.size()) {
                    auto it = parents.find(at);
                    if (it == parents.end() || it->second.first != of.first) {
                        out += "folder " + std::to_string(id) + ": parent missing\n";
                        break;
                    }
                    at = it->second.second;
                    ++steps;
                }
                if (steps > parents.size())
                    out += "folder " + std::to_string(id) + ": in a cycle\n";
            }
            {
                auto st = db_->q("SELECT f.id FROM files f LEFT JOIN folders d ON d.id=f.folder_id "
                                 "AND d.office_id=f.office_id WHERE d.id IS NULL");
                while (st.step())
                    out += "file " + std::to_string(st.i(0)) + ": folder missing\n";
            }
            if (out.empty())
                out = "ok";
        } else if (name == "reset") {
            for (const char *t :
                 {"offices", "users", "clients", "access_keys", "folders", "files", "deleted_files",
                  "favorites", "notices", "notice_reads", "filetypes", "bulk_jobs", "settings"})
                db_->exec(std::string("DELETE FROM ") + t);
            // The seed runs in a transaction of its own.
            db_->exec("COMMIT");
            applySeed(seed_);
            db_->exec("BEGIN IMMEDIATE");
            {
                std::lock_guard<std::mutex> gi(injMutex_);
                injections_.clear();
                touches_.clear();
            }
            std::lock_guard<std::mutex> gl(logMutex_);
            log_.clear();
        } else {
            status = 404;
            out = "unknown hook " + name;
        }
        db_->exec("COMMIT");
        return status;
    } catch (const Fault &) {
        throw; // a refused call: the caller answers 400 with the reason
    } catch (const std::exception &e) {
        db_->rollbackQuietly();
        out = e.what();
        return 404;
    }
}

} // namespace devserver
