#include "ServiceImpl.h"

#include <algorithm>
#include <filesystem>
#include <variant>

namespace fs = std::filesystem;

namespace devserver {

namespace {

using Bind = std::variant<int64_t, std::string>;

void bindAll(Stmt &st, const std::vector<Bind> &binds)
{
    int i = 1;
    for (const Bind &b : binds) {
        if (std::holds_alternative<int64_t>(b))
            st.bind(i++, std::get<int64_t>(b));
        else
            st.bind(i++, std::get<std::string>(b));
    }
}

// "2024/1/5", "2024-01-05" → "2024/01/05"; empty when it is no date.
std::string normDate(const std::string &s)
{
    int y = 0, m = 0, d = 0;
    char a = 0, b = 0;
    if (std::sscanf(s.c_str(), "%d%c%d%c%d", &y, &a, &m, &b, &d) != 5 || (a != '/' && a != '-')
        || a != b)
        return {};
    if (y < 1900 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31)
        return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", y, m, d);
    return buf;
}

bool parseAmount(std::string s, int64_t &out)
{
    s.erase(std::remove(s.begin(), s.end(), ','), s.end());
    if (s.empty())
        return false;
    char *end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (end && *end)
        return false;
    out = v;
    return true;
}

} // namespace

void Service::checkRight(Ctx &c, const Folder &f, const char *right, const char *code)
{
    std::string key = right;
    if (f.databox)
        key += "DataBox";
    if (!c.right(key))
        fault(code, "この処理を実行する権限がありません。(" + key + ")", 403);
}

std::optional<Service::File> Service::loadFile(int64_t office, int64_t folder,
                                               const std::string &name)
{
    auto st
        = db_->q(std::string("SELECT ") + kFileCols
                     + " FROM files WHERE office_id=? AND folder_id=? AND name=? COLLATE vqcase",
                 office, folder, name);
    if (!st.step())
        return std::nullopt;
    return fileFromRow(st);
}

Service::File Service::requireFile(Ctx &c, const Folder &f, const std::string &name,
                                   bool favoriteFault)
{
    if (auto file = loadFile(c.office, f.id, name))
        return *file;
    const char *code = favoriteFault ? "70006" : "40007";
    auto st = db_->q("SELECT delete_time, delete_name FROM deleted_files WHERE office_id=? AND "
                     "folder_id=? AND name=? COLLATE vqcase "
                     "ORDER BY rowid DESC LIMIT 1",
                     c.office, f.id, name);
    if (st.step())
        fault(code,
              "このファイルは削除されています。(deleteTime=" + st.t(0) + ",deleteName=" + st.t(1)
                  + ")",
              404);
    fault(code, "ファイルが存在しません。(" + name + ")", 404);
}

void Service::recordDeleted(int64_t office, int64_t folder, const std::string &name,
                            const std::string &by)
{
    db_->q("DELETE FROM deleted_files WHERE office_id=? AND folder_id=? AND name=? COLLATE vqcase",
           office, folder, name)
        .run();
    db_->q("INSERT INTO deleted_files(office_id, folder_id, name, delete_time, delete_name) "
           "VALUES(?,?,?,?,?)",
           office, folder, name, nowText(), by)
        .run();
}

std::string Service::freeName(int64_t folder, const std::string &name)
{
    std::string base = name, ext;
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        base = name.substr(0, dot);
        ext = name.substr(dot);
    }
    for (int i = 1;; ++i) {
        std::string candidate = base + "(" + std::to_string(i) + ")" + ext;
        if (!db_->q("SELECT 1 FROM files WHERE folder_id=? AND name=? COLLATE vqcase", folder,
                    candidate)
                 .step())
            return candidate;
    }
}

std::string Service::sameNameRule(int64_t office)
{
    auto st
        = db_->q("SELECT value FROM settings WHERE key=?", "samename:" + std::to_string(office));
    return st.step() ? st.t(0) : std::string();
}

void Service::writeFile(Xml &x, Ctx &c, const File &f, bool favoriteOrder)
{
    const std::string &digest = f.fakeDigest.empty() ? f.digest : f.fakeDigest;
    std::string amount = f.hasAmount ? std::to_string(f.amount) : std::string();
    x.el("comment", f.comment).el("commentUpdateDispName", f.commentUpdateDispName);
    x.el("commentUpdateId", f.commentUpdateId)
        .el("commentUpdateTime", f.commentUpdateTime)
        .el("digest", digest);
    if (!favoriteOrder)
        x.flag("isFavorite", isFavorite(c, f.folder, "/" + f.name));
    x.el("lockDispName", f.lockDispName).el("lockId", f.lockId).el("lockKey", f.lockKey);
    x.el("path", "/" + f.name).el("size", f.size);
    if (favoriteOrder)
        x.el("transactionAmount", amount)
            .el("transactionDate", f.txDate)
            .el("transactionName", f.txName);
    x.el("updateDispName", f.updateDispName)
        .el("updateId", f.updateId)
        .el("updateName", f.updateName);
    x.el("updateTime", f.updateTime);
    if (!favoriteOrder)
        x.el("transactionAmount", amount)
            .el("transactionDate", f.txDate)
            .el("transactionName", f.txName);
    x.el("workspaceId", f.folder);
}

std::string Service::opFileList(Ctx &c, const Params &p, ListKind kind)
{
    int64_t root = paramInt(p, "workspaceId");
    bool recursive = paramFlag(p, "recursive");
    if (root != 0)
        requireFolder(c, root, true);
    std::string sql;
    std::vector<Bind> binds;
    if (recursive && root != 0) {
        sql = "WITH RECURSIVE sub(id) AS (SELECT ? UNION ALL SELECT x.id FROM folders x JOIN sub "
              "ON "
              "x.parent_id=sub.id) ";
        binds.push_back(root);
    }
    std::string where = " FROM files f JOIN folders fo ON fo.id=f.folder_id WHERE f.office_id=?";
    binds.push_back(c.office);
    if (!recursive) {
        where += " AND f.folder_id=?";
        binds.push_back(root);
    } else if (root != 0) {
        where += " AND f.folder_id IN (SELECT id FROM sub)";
    }
    if (!c.right("privDataBox"))
        where += " AND fo.is_databox=0";
    if (paramFlag(p, "lockonly"))
        where += " AND f.lock_key<>''";
    if (kind == ListKind::Count && paramFlag(p, "lockbyMe")) {
        where += " AND f.lock_key=?";
        binds.push_back(c.clientKey);
    }
    if (!param(p, "pattern").empty()) {
        where += " AND vq_match(?, f.name)";
        binds.push_back(param(p, "pattern"));
    }
    std::string ext = toLowerAscii(param(p, "ext"));
    while (!ext.empty() && ext.front() == '.')
        ext.erase(0, 1);
    if (!ext.empty()) {
        where += " AND f.ext=?";
        binds.push_back(ext);
    }
    // Transaction information search.
    if (p.count("searchTransactionDateBlankValue")) {
        if (paramFlag(p, "searchTransactionDateBlankValue")) {
            where += " AND f.tx_date=''";
        } else {
            std::string from = normDate(param(p, "transactionDateFrom")),
                        to = normDate(param(p, "transactionDateTo"));
            if (!param(p, "transactionDateFrom").empty() && from.empty())
                fault("10004", "取引日の指定が正しくありません。");
            if (!param(p, "transactionDateTo").empty() && to.empty())
                fault("10004", "取引日の指定が正しくありません。");
            if (!from.empty()) {
                where += " AND f.tx_date<>'' AND f.tx_date>=?";
                binds.push_back(from);
            }
            if (!to.empty()) {
                where += " AND f.tx_date<>'' AND f.tx_date<=?";
                binds.push_back(to);
            }
        }
    }
    if (p.count("searchTransactionNameBlankValue")) {
        if (paramFlag(p, "searchTransactionNameBlankValue")) {
            where += " AND f.tx_name=''";
        } else if (!param(p, "transactionName").empty()) {
            where += " AND instr(lower(f.tx_name), lower(?))>0";
            binds.push_back(param(p, "transactionName"));
        }
    }
    if (p.count("searchTransactionAmountBlankValue")) {
        if (paramFlag(p, "searchTransactionAmountBlankValue")) {
            where += " AND f.tx_amount IS NULL";
        } else {
            int64_t v = 0;
            if (!param(p, "transactionAmountFrom").empty()) {
                if (!parseAmount(param(p, "transactionAmountFrom"), v))
                    fault("10004", "金額の指定が正しくありません。");
                where += " AND f.tx_amount>=?";
                binds.push_back(v);
            }
            if (!param(p, "transactionAmountTo").empty()) {
                if (!parseAmount(param(p, "transactionAmountTo"), v))
                    fault("10004", "金額の指定が正しくありません。");
                where += " AND f.tx_amount<=?";
                binds.push_back(v);
            }
        }
    }
    Xml x;
    if (kind == ListKind::Count) {
        auto st = db_->q(sql + "SELECT COUNT(*)" + where);
        bindAll(st, binds);
        st.step();
        x.open("countResponse").el("count", st.i(0)).el("workspaceId", root).close("countResponse");
        return x.s;
    }
    static const std::map<std::string, std::string> sortSql = {
        {"updateName", "f.update_name COLLATE NOCASE"},
        {"updateTime", "f.update_time"},
        {"folderName", "fo.name COLLATE NOCASE"},
        {"ext", "f.ext"},
        {"status", "(f.lock_key<>'')"},
        {"comment", "f.comment COLLATE NOCASE"},
        {"fileSize", "f.size"},
        {"transactionDate", "f.tx_date"},
        {"transactionName", "f.tx_name COLLATE NOCASE"},
        {"transactionAmount", "f.tx_amount"},
    };
    std::string dir = toLowerAscii(param(p, "dir")) == "desc" ? " DESC" : " ASC";
    std::string order = " ORDER BY ";
    auto s = sortSql.find(param(p, "sort"));
    if (s != sortSql.end())
        order += s->second + dir + ", ";
    order += "f.name COLLATE NOCASE" + dir + ", f.id" + dir;
    if (kind == ListKind::Offset) {
        std::string target = fileNameOf(param(p, "path"));
        auto st = db_->q(sql + "SELECT f.name" + where + order);
        bindAll(st, binds);
        int64_t pos = 0, offset = -1;
        while (st.step()) {
            if (compareFolded(st.t(0), target) == 0) {
                offset = pos;
                break;
            }
            ++pos;
        }
        x.open("offsetResponse").el("offset", offset).close("offsetResponse");
        return x.s;
    }
    int64_t limit = paramCount(p, "limit"), offset = paramCount(p, "offset");
    std::string cols = kFileCols;
    std::string prefixed;
    {
        // qualify the column list with the files alias
        size_t pos = 0;
        while (pos < cols.size()) {
            size_t comma = cols.find(',', pos);
            if (comma == std::string::npos)
                comma = cols.size();
            std::string col = cols.substr(pos, comma - pos);
            while (!col.empty() && col.front() == ' ')
                col.erase(0, 1);
            prefixed += (prefixed.empty() ? "f." : ", f.") + col;
            pos = comma + 1;
        }
    }
    auto st = db_->q(sql + "SELECT " + prefixed + where + order + " LIMIT ? OFFSET ?");
    binds.push_back(limit > 0 ? limit : int64_t(-1));
    binds.push_back(offset);
    bindAll(st, binds);
    // Favourite files of the user, once for the page.
    std::set<std::pair<int64_t, std::string>> favs;
    {
        auto fv
            = db_->q("SELECT folder_id, path FROM favorites WHERE user_id=? AND path<>''", c.user);
        while (fv.step())
            favs.emplace(fv.i(0), fv.t(1));
    }
    x.open("listResponse").open("files");
    while (st.step()) {
        File f = fileFromRow(st);
        const std::string &digest = f.fakeDigest.empty() ? f.digest : f.fakeDigest;
        std::string amount = f.hasAmount ? std::to_string(f.amount) : std::string();
        x.open("file");
        x.el("comment", f.comment).el("commentUpdateDispName", f.commentUpdateDispName);
        x.el("commentUpdateId", f.commentUpdateId)
            .el("commentUpdateTime", f.commentUpdateTime)
            .el("digest", digest);
        x.flag("isFavorite", favs.count({f.folder, "/" + f.name}) > 0);
        x.el("lockDispName", f.lockDispName).el("lockId", f.lockId).el("lockKey", f.lockKey);
        x.el("path", "/" + f.name).el("size", f.size);
        x.el("updateDispName", f.updateDispName)
            .el("updateId", f.updateId)
            .el("updateName", f.updateName);
        x.el("updateTime", f.updateTime);
        x.el("transactionAmount", amount)
            .el("transactionDate", f.txDate)
            .el("transactionName", f.txName);
        x.el("workspaceId", f.folder);
        x.close("file");
    }
    x.close("files").close("listResponse");
    return x.s;
}

std::string Service::opFileInfo(Ctx &c, const Params &p)
{
    Folder folder = requireFolder(c, paramInt(p, "workspaceId"), true);
    File f = requireFile(c, folder, fileNameOf(param(p, "path")));
    Xml x;
    x.open("infoResponse").open("file");
    writeFile(x, c, f);
    x.close("file").close("infoResponse");
    return x.s;
}

ApiReply Service::opFileGet(Ctx &c, const ApiRequest &r)
{
    Folder folder = requireFolder(c, paramInt(r.params, "workspaceId"), true);
    File f = requireFile(c, folder, fileNameOf(param(r.params, "path")));
    checkRight(c, folder, "privFileDownload", "40014");
    ApiReply reply;
    reply.stream = true;
    reply.digest = f.fakeDigest.empty() ? f.digest : f.fakeDigest;
    reply.filePath = blobPath(f.digest);
    reply.fileSize = f.size;
    reply.contentType = "application/octet-stream";
    return reply;
}

std::string Service::opFileUpload(Ctx &c, const ApiRequest &r, bool create)
{
    const Params &p = r.params;
    Folder folder = requireFolder(c, paramInt(p, "workspaceId"), true);
    std::string name = fileNameOf(param(p, "path"));
    if (!r.hasUpload)
        fault("10004", "アップロードするファイル(file)がありません。");
    std::optional<File> existing = loadFile(c.office, folder.id, name);
    if (!create && !existing)
        requireFile(c, folder, name); // raises 40007 with the deletion details
    bool overwrite = !create;
    if (create) {
        checkRight(c, folder, "privFileCreate", "40014");
        if (folder.readOnly)
            checkRight(c, folder, "privReadonlyCreate", "40014");
        checkFileName(c, name);
        // Over an existing file of a read-only folder a create is an update, which such a
        // folder refuses.
        if (existing && folder.readOnly)
            fault("40014", "読み取り専用のフォルダのファイルは上書きできません。", 403);
        if (existing) {
            std::string rule = sameNameRule(c.office);
            if (rule == "refuse")
                fault("40006", "同じ名前のファイルが存在します。(" + name + ")", 409);
            std::string key = std::string("privFileOverwrite") + (folder.databox ? "DataBox" : "");
            if (rule != "unique" && c.right(key))
                overwrite = true;
            else
                name = freeName(folder.id, name);
        }
    } else {
        checkRight(c, folder, "privFileOverwrite", "40014");
        if (folder.readOnly)
            fault("40014", "読み取り専用のフォルダのファイルは更新できません。", 403);
    }
    if (overwrite && existing && !existing->lockKey.empty() && existing->lockKey != c.clientKey)
        fault("40008", "このファイルは " + existing->lockDispName + " さんがロックしています。",
              409);
    if (r.uploadSize > c.num("maxFileSize"))
        fault("10007", "ファイルサイズが上限(" + std::to_string(c.num("maxFileSize"))
                           + " バイト)を超えています。");
    if (r.uploadSize == 0 && !c.right("privEmptyFileUpload"))
        fault("10009", "空のファイルはアップロードできません。");
    if (!overwrite) {
        auto st = db_->q("SELECT COUNT(*) FROM files WHERE folder_id=?", folder.id);
        st.step();
        if (st.i(0) >= c.num("maxFileNum"))
            fault("40012", "フォルダの中のファイル数が上限(" + std::to_string(c.num("maxFileNum"))
                               + ")です。");
    }
    // Contents are kept by digest; equal contents share one blob.
    std::string path = blobPath(r.uploadMd5);
    if (!fs::exists(path)) {
        fs::create_directories(fs::path(path).parent_path());
        fs::rename(r.uploadPath, path);
    }
    std::string now = nowText();
    if (overwrite && existing) {
        db_->q("UPDATE files SET size=?, digest=?, fake_digest='', update_id=?, update_name=?, "
               "update_disp_name=?, "
               "update_time=? WHERE id=?",
               r.uploadSize, r.uploadMd5, c.user, c.name, c.dispName, now, existing->id)
            .run();
    } else {
        db_->q("INSERT INTO files(office_id, folder_id, name, ext, size, digest, update_id, "
               "update_name, "
               "update_disp_name, update_time) VALUES(?,?,?,?,?,?,?,?,?,?)",
               c.office, folder.id, name, extOf(name), r.uploadSize, r.uploadMd5, c.user, c.name,
               c.dispName, now)
            .run();
        db_->q("DELETE FROM deleted_files WHERE office_id=? AND folder_id=? AND name=? COLLATE "
               "vqcase",
               c.office, folder.id, name)
            .run();
    }
    bump(c.office);
    File f = *loadFile(c.office, folder.id, name);
    const char *resp = create ? "createResponse" : "updateResponse";
    Xml x;
    x.open(resp).open("file");
    writeFile(x, c, f);
    x.close("file").close(resp);
    return x.s;
}

std::string Service::opFileDelete(Ctx &c, const Params &p)
{
    Folder folder = requireFolder(c, paramInt(p, "workspaceId"), true);
    File f = requireFile(c, folder, fileNameOf(param(p, "path")));
    checkRight(c, folder, "privFileDelete", "40014");
    if (folder.readOnly)
        fault("40014", "読み取り専用のフォルダのファイルは削除できません。", 403);
    if (!f.lockKey.empty() && f.lockKey != c.clientKey)
        fault("40008", "このファイルは " + f.lockDispName + " さんがロックしています。", 409);
    Xml x;
    x.open("deleteResponse").open("file");
    writeFile(x, c, f);
    x.close("file").close("deleteResponse");
    recordDeleted(c.office, folder.id, f.name, c.dispName);
    db_->q("DELETE FROM files WHERE id=?", f.id).run();
    db_->q("DELETE FROM favorites WHERE folder_id=? AND path=?", folder.id, "/" + f.name).run();
    bump(c.office);
    return x.s;
}

std::string Service::opFileLock(Ctx &c, const Params &p, bool lock)
{
    Folder folder = requireFolder(c, paramInt(p, "workspaceId"), true);
    File f = requireFile(c, folder, fileNameOf(param(p, "path")));
    if (lock) {
        checkRight(c, folder, "privFileOverwrite", "40014");
        if (folder.readOnly)
            fault("40014", "読み取り専用のフォルダのファイルはロックできません。", 403);
        if (f.lockKey.empty()) {
            db_->q("UPDATE files SET lock_key=?, lock_id=?, lock_disp_name=? WHERE id=?",
                   c.clientKey, c.user, c.dispName, f.id)
                .run();
            bump(c.office);
        } else if (f.lockKey != c.clientKey) {
            if (f.lockId == c.user)
                fault("40005", "このファイルは別のパソコンでロックされています。", 409);
            fault("40008", "このファイルは " + f.lockDispName + " さんがロックしています。", 409);
        }
    } else if (!f.lockKey.empty()) {
        if (f.lockKey != c.clientKey)
            fault("40008", "このファイルは " + f.lockDispName + " さんがロックしています。", 409);
        db_->q("UPDATE files SET lock_key='', lock_id=0, lock_disp_name='' WHERE id=?", f.id).run();
        bump(c.office);
    }
    File n = *loadFile(c.office, folder.id, f.name);
    const char *resp = lock ? "lockResponse" : "unlockResponse";
    Xml x;
    x.open(resp).open("file");
    writeFile(x, c, n);
    x.close("file").close(resp);
    return x.s;
}

std::string Service::opFileMoveCopy(Ctx &c, const Params &p, bool move)
{
    int64_t srcId
        = p.count("srcWorkspaceId") ? paramInt(p, "srcWorkspaceId") : paramInt(p, "workspaceId");
    std::string srcPath = p.count("srcPath") ? param(p, "srcPath") : param(p, "path");
    Folder src = requireFolder(c, srcId, true);
    File f = requireFile(c, src, fileNameOf(srcPath));
    Folder dst = requireFolder(c, paramInt(p, "dstWorkspaceId", srcId), true);
    std::string name = fileNameOf(param(p, "dstPath"));
    if (name.empty())
        name = f.name;
    bool sameFolder = dst.id == src.id;
    if (move) {
        checkRight(c, src, sameFolder ? "privFileRename" : "privFileMove", "40014");
        // The destination's own right too (its DataBox right when it is a DataBox folder).
        if (!sameFolder)
            checkRight(c, dst, "privFileMove", "40014");
        if (src.readOnly || dst.readOnly)
            fault("40014", "読み取り専用のフォルダのファイルは移動できません。", 403);
        if (!f.lockKey.empty() && f.lockKey != c.clientKey)
            fault("40008", "このファイルは " + f.lockDispName + " さんがロックしています。", 409);
    } else {
        checkRight(c, dst, "privFileCreate", "40014");
        if (dst.readOnly)
            checkRight(c, dst, "privReadonlyCreate", "40014");
    }
    checkFileName(c, name);
    auto other = loadFile(c.office, dst.id, name);
    // What replaces a taken name: the office's rule when the hook set one, else a copy
    // takes a unique name and a move is refused.
    std::optional<File> replaced;
    if (other && (!move || other->id != f.id)) {
        std::string rule = sameNameRule(c.office);
        if (rule.empty())
            rule = move ? "refuse" : "unique";
        std::string key = std::string("privFileOverwrite") + (dst.databox ? "DataBox" : "");
        if (rule == "refuse")
            fault("40006",
                  std::string(move ? "移動先" : "コピー先") + "に同じ名前のファイルが存在します。("
                      + name + ")",
                  409);
        if (rule == "overwrite" && c.right(key)) {
            if (!other->lockKey.empty() && other->lockKey != c.clientKey)
                fault("40008",
                      "このファイルは " + other->lockDispName + " さんがロックしています。", 409);
            replaced = other;
            name = other->name;
        } else {
            name = freeName(dst.id, name);
        }
    }
    if ((!move || !sameFolder) && !replaced) {
        auto st = db_->q("SELECT COUNT(*) FROM files WHERE folder_id=?", dst.id);
        st.step();
        if (st.i(0) >= c.num("maxFileNum"))
            fault("40012", "フォルダの中のファイル数が上限です。");
    }
    std::string now = nowText();
    if (replaced && move) {
        // The moved file takes the place of the one it replaces.
        db_->q("DELETE FROM files WHERE id=?", replaced->id).run();
    } else if (replaced) {
        // Overwritten in place: the file keeps its identity (and lock), the content is the
        // source's.
        auto st = db_->q("UPDATE files SET size=?, digest=?, fake_digest='', update_id=?, "
                         "update_name=?, update_disp_name=?, update_time=?, comment=?, tx_date=?, "
                         "tx_name=?, tx_amount=? WHERE id=?",
                         f.size, f.digest, c.user, c.name, c.dispName, now, f.comment, f.txDate,
                         f.txName, f.amount, replaced->id);
        if (!f.hasAmount)
            st.bindNull(10);
        st.run();
    }
    if (move) {
        db_->q("UPDATE files SET folder_id=?, name=?, ext=?, update_id=?, update_name=?, "
               "update_disp_name=?, "
               "update_time=? WHERE id=?",
               dst.id, name, extOf(name), c.user, c.name, c.dispName, now, f.id)
            .run();
        db_->q("UPDATE favorites SET folder_id=?, path=? WHERE folder_id=? AND path=?", dst.id,
               "/" + name, src.id, "/" + f.name)
            .run();
    } else if (!replaced) {
        db_->q("INSERT INTO files(office_id, folder_id, name, ext, size, digest, update_id, "
               "update_name, "
               "update_disp_name, update_time, comment, tx_date, tx_name, tx_amount) SELECT "
               "office_id, ?, ?, ?, size, "
               "digest, ?, ?, ?, ?, comment, tx_date, tx_name, tx_amount FROM files WHERE id=?",
               dst.id, name, extOf(name), c.user, c.name, c.dispName, now, f.id)
            .run();
    }
    db_->q("DELETE FROM deleted_files WHERE office_id=? AND folder_id=? AND name=? COLLATE vqcase",
           c.office, dst.id, name)
        .run();
    bump(c.office);
    File d = *loadFile(c.office, dst.id, name);
    const char *resp = move ? "moveResponse" : "copyResponse";
    Xml x;
    x.open(resp).open("dstFile");
    writeFile(x, c, d);
    x.close("dstFile").open("srcFile");
    writeFile(x, c, move ? f : *loadFile(c.office, src.id, f.name));
    x.close("srcFile").close(resp);
    return x.s;
}

std::string Service::opVoucher(Ctx &c, const Params &p)
{
    Folder folder = requireFolder(c, paramInt(p, "workspaceId"), true);
    File f = requireFile(c, folder, fileNameOf(param(p, "path")));
    if (!folder.databox)
        fault("10004", "取引情報は電子フォルダのファイルにだけ登録できます。");
    if (!c.right("privEditDataBox"))
        fault("40014", "取引情報を変更する権限がありません。", 403);
    if (!f.lockKey.empty() && f.lockKey != c.clientKey)
        fault("40008", "このファイルは " + f.lockDispName + " さんがロックしています。", 409);
    std::string date;
    if (!param(p, "date").empty()) {
        date = normDate(param(p, "date"));
        if (date.empty())
            fault("10004", "取引日が正しくありません。");
    }
    int64_t amount = 0;
    bool hasAmount = !param(p, "amount").empty();
    if (hasAmount && !parseAmount(param(p, "amount"), amount))
        fault("10004", "金額が正しくありません。");
    std::string name = param(p, "name");
    if (utf8Length(name) > 100 || !isCleanText(name, false))
        fault("10004", "取引先名が長過ぎるか、使えない文字を含みます。");
    auto v = db_->q("SELECT COALESCE(MAX(voucher_id), 0) + 1 FROM files");
    v.step();
    int64_t voucherId = v.i(0);
    std::string now = nowText();
    auto st = db_->q("UPDATE files SET tx_date=?, tx_name=?, tx_amount=?, voucher_id=?, "
                     "update_id=?, update_name=?, "
                     "update_disp_name=?, update_time=? WHERE id=?",
                     date, name, amount, voucherId, c.user, c.name, c.dispName, now, f.id);
    if (!hasAmount)
        st.bindNull(3);
    st.run();
    bump(c.office);
    Xml x;
    x.open("createResponse").open("fileVoucher");
    x.el("date", date)
        .el("amount", hasAmount ? std::to_string(amount) : std::string())
        .el("name", name);
    x.el("voucherId", voucherId).el("path", "/" + f.name).el("updateDispName", c.dispName);
    x.el("updateId", c.user).el("updateName", c.name).el("updateTime", now);
    x.close("fileVoucher").close("createResponse");
    return x.s;
}

std::string Service::opComment(Ctx &c, const Params &p)
{
    Folder folder = requireFolder(c, paramInt(p, "workspaceId"), true);
    File f = requireFile(c, folder, fileNameOf(param(p, "path")));
    if (folder.databox && !c.right("privFileCommentEditDataBox"))
        fault("40014", "コメントを変更する権限がありません。", 403);
    // Whoever holds the file's lock is editing it and its comment; nobody else comments then.
    if (!f.lockKey.empty() && f.lockKey != c.clientKey)
        fault("40008", "このファイルは " + f.lockDispName + " さんがロックしています。", 409);
    std::string comment = param(p, "comment");
    if (!isCleanText(comment, true))
        fault("10004", "コメントに使えない文字が含まれています。");
    if (int64_t(utf8Length(comment)) > c.num("maxFileCommentLength"))
        fault("10004", "コメントが長過ぎます。(最大 "
                           + std::to_string(c.num("maxFileCommentLength")) + " 文字)");
    std::string now = nowText();
    db_->q("UPDATE files SET comment=?, comment_update_id=?, comment_update_disp_name=?, "
           "comment_update_time=? WHERE "
           "id=?",
           comment, c.user, c.dispName, now, f.id)
        .run();
    bump(c.office);
    Xml x;
    x.open("createResponse").open("fileComment");
    x.el("comment", comment)
        .el("path", "/" + f.name)
        .el("updateDispName", c.dispName)
        .el("updateId", c.user);
    x.el("updateName", c.name).el("updateTime", now).el("workspaceId", folder.id);
    x.close("fileComment").close("createResponse");
    return x.s;
}

} // namespace devserver
