#include "ServiceImpl.h"

#include <algorithm>
#include <functional>
#include <set>
#include <unordered_map>

namespace devserver {

namespace {

const char kFileForbidden[] = "\\/:*?\"<>|";

bool visible(const Service::Ctx &c, const Service::Folder &f)
{
    return !f.databox || c.right("privDataBox");
}

} // namespace

void Service::checkFolderName(Ctx &c, const std::string &name, bool top)
{
    if (name.empty() || name == "." || name == ".." || !isCleanText(name, false))
        fault("10004", "フォルダ名が正しくありません。");
    if (name.find_first_of(std::string(kFileForbidden) + " ") != std::string::npos)
        fault("30009", "フォルダ名に使用できない文字が含まれています。(" + name + ")");
    int64_t limit = c.num(top ? "maxRootFolderLength" : "maxSubFolderLength");
    if (int64_t(utf8Length(name)) > limit)
        fault("30006", "フォルダ名が長過ぎます。(最大 " + std::to_string(limit) + " 文字)");
}

void Service::checkFileName(Ctx &c, const std::string &name)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos
        || !isCleanText(name, false))
        fault("10004", "ファイル名が正しくありません。");
    if (name.find_first_of(kFileForbidden) != std::string::npos)
        fault("30009", "ファイル名に使用できない文字が含まれています。(" + name + ")");
    int64_t limit = c.num("maxFileNameLength");
    if (int64_t(utf8Length(name)) > limit)
        fault("40011", "ファイル名が長過ぎます。(最大 " + std::to_string(limit) + " 文字)");
}

std::optional<Service::Folder> Service::loadFolder(int64_t office, int64_t id)
{
    auto st
        = db_->q(std::string("SELECT ") + kFolderCols + " FROM folders WHERE id=? AND office_id=?",
                 id, office);
    if (!st.step())
        return std::nullopt;
    return folderFromRow(st);
}

Service::Folder Service::requireFolder(Ctx &c, int64_t id, bool forFile)
{
    auto f = loadFolder(c.office, id);
    if (!f)
        fault(forFile ? "40002" : "30002",
              "フォルダが存在しません。(workspaceId=" + std::to_string(id) + ")", 404);
    if (!visible(c, *f))
        fault(forFile ? "40003" : "30003", "フォルダにアクセスする権限がありません。", 403);
    return *f;
}

std::vector<Service::Folder> Service::chain(int64_t office, const Folder &f)
{
    std::vector<Folder> out{f};
    int64_t parent = f.parent;
    for (int guard = 0; parent != 0 && guard < 64; ++guard) {
        auto p = loadFolder(office, parent);
        if (!p)
            break;
        out.push_back(*p);
        parent = p->parent;
    }
    std::reverse(out.begin(), out.end());
    return out;
}

bool Service::isFavorite(Ctx &c, int64_t folder, const std::string &path)
{
    auto st = db_->q("SELECT 1 FROM favorites WHERE user_id=? AND folder_id=? AND path=?", c.user,
                     folder, path);
    return st.step();
}

void Service::writeWorkspace(Xml &x, Ctx &c, const Folder &f, const std::vector<int64_t> &pathIds)
{
    x.el("comment", f.comment)
        .el("folderStyle", f.style)
        .el("id", f.id)
        .flag("isDataBox", f.databox);
    x.flag("isFavorite", isFavorite(c, f.id, "")).el("name", f.name).open("parents");
    for (int64_t id : pathIds)
        x.open("parent").el("id", id).close("parent");
    x.close("parents")
        .flag("readOnly", f.readOnly)
        .el("updateName", f.updateName)
        .el("updateTime", f.updateTime);
}

void Service::writeWorkspace(Xml &x, Ctx &c, const Folder &f)
{
    std::vector<int64_t> ids;
    for (const Folder &p : chain(c.office, f))
        ids.push_back(p.id);
    writeWorkspace(x, c, f, ids);
}

std::vector<int64_t> Service::subtree(int64_t office, int64_t id)
{
    std::vector<int64_t> out{id};
    std::set<int64_t> seen{id}; // a damaged store with a cycle still ends the walk
    for (size_t i = 0; i < out.size(); ++i) {
        auto st
            = db_->q("SELECT id FROM folders WHERE office_id=? AND parent_id=?", office, out[i]);
        while (st.step())
            if (seen.insert(st.i(0)).second)
                out.push_back(st.i(0));
    }
    return out;
}

int Service::subtreeDepth(int64_t office, int64_t id)
{
    std::function<int(int64_t)> depth = [&](int64_t f) {
        std::vector<int64_t> kids;
        {
            auto st = db_->q("SELECT id FROM folders WHERE office_id=? AND parent_id=?", office, f);
            while (st.step())
                kids.push_back(st.i(0));
        }
        int d = 0;
        for (int64_t k : kids)
            d = std::max(d, depth(k));
        return d + 1;
    };
    return depth(id);
}

std::string Service::opWorkspaceList(Ctx &c, const Params &p, ListKind kind)
{
    // The client reloads the whole tree after every change it makes and on every refresh; the
    // rendered answer is kept until any row of the database changes (every write goes through
    // this one connection, so its change count is a complete generation number).
    const int64_t generation = sqlite3_total_changes64(db_->handle());
    if (generation != listCacheGeneration_) {
        listCache_.clear();
        listCacheGeneration_ = generation;
    }
    std::string cacheKey = std::to_string(c.user) + "|" + std::to_string(int(kind));
    for (const auto &[k, v] : p)
        cacheKey += "|" + k + "=" + v;
    if (auto hit = listCache_.find(cacheKey); hit != listCache_.end())
        return hit->second;
    std::string answer = listWorkspaces(c, p, kind);
    if (listCache_.size() > 64)
        listCache_.clear();
    listCache_.emplace(cacheKey, answer);
    return answer;
}

std::string Service::listWorkspaces(Ctx &c, const Params &p, ListKind kind)
{
    int64_t root = paramInt(p, "workspaceId");
    bool recursive = paramFlag(p, "recursive");
    std::string pattern = param(p, "pattern");
    std::string sort = param(p, "sort");
    bool desc = toLowerAscii(param(p, "dir")) == "desc";
    if (root != 0)
        requireFolder(c, root, false);

    // The whole tree of the office in one read; the listing is built in memory.
    std::vector<Folder> all;
    std::unordered_map<int64_t, std::vector<size_t>> children;
    {
        auto st = db_->q(std::string("SELECT ") + kFolderCols + " FROM folders WHERE office_id=?",
                         c.office);
        while (st.step()) {
            all.push_back(folderFromRow(st));
            children[all.back().parent].push_back(all.size() - 1);
        }
    }
    std::unordered_map<int64_t, bool> favs;
    {
        auto st = db_->q("SELECT folder_id FROM favorites WHERE user_id=? AND path=''", c.user);
        while (st.step())
            favs[st.i(0)] = true;
    }
    // Sort keys computed once per folder rather than in every comparison.
    std::vector<std::string> key1(all.size()), key2(all.size());
    for (size_t i = 0; i < all.size(); ++i) {
        const Folder &f = all[i];
        if (sort == "updateName")
            key1[i] = toLowerAscii(f.updateName);
        else if (sort == "updateTime")
            key1[i] = f.updateTime;
        else if (sort == "comment")
            key1[i] = toLowerAscii(f.comment);
        key2[i] = toLowerAscii(f.name);
    }
    auto less = [&](size_t ia, size_t ib) {
        const Folder &a = all[ia], &b = all[ib];
        int r = key1[ia].compare(key1[ib]);
        if (r == 0)
            r = key2[ia].compare(key2[ib]);
        if (r == 0)
            r = a.id < b.id ? -1 : (a.id > b.id ? 1 : 0);
        return desc ? r > 0 : r < 0;
    };
    for (auto &[parent, kids] : children)
        std::sort(kids.begin(), kids.end(), less);

    // Path ids of the start folder.
    std::vector<int64_t> basePath;
    if (root != 0) {
        auto f = loadFolder(c.office, root);
        for (const Folder &x : chain(c.office, *f))
            basePath.push_back(x.id);
    }
    struct Item
    {
        size_t index;
        std::vector<int64_t> path;
    };
    std::vector<Item> items;
    std::function<void(int64_t, std::vector<int64_t> &)> walk
        = [&](int64_t parent, std::vector<int64_t> &path) {
              auto it = children.find(parent);
              if (it == children.end())
                  return;
              for (size_t idx : it->second) {
                  const Folder &f = all[idx];
                  if (!visible(c, f))
                      continue;
                  path.push_back(f.id);
                  if (pattern.empty() || wildcardMatch(pattern, f.name))
                      items.push_back({idx, path});
                  if (recursive)
                      walk(f.id, path);
                  path.pop_back();
              }
          };
    walk(root, basePath);

    Xml x;
    if (kind == ListKind::Count) {
        x.open("countResponse")
            .el("count", int64_t(items.size()))
            .el("workspaceId", root)
            .close("countResponse");
        return x.s;
    }
    if (kind == ListKind::Offset) {
        int64_t target = paramInt(p, "targetId"), offset = -1;
        for (size_t i = 0; i < items.size(); ++i)
            if (all[items[i].index].id == target) {
                offset = int64_t(i);
                break;
            }
        x.open("offsetResponse").el("offset", offset).close("offsetResponse");
        return x.s;
    }
    const auto [begin, end]
        = pageRange(items.size(), paramCount(p, "offset"), paramCount(p, "limit"));
    x.s.reserve((end - begin) * 320);
    x.open("listResponse").open("workspaces");
    for (size_t i = begin; i < end; ++i) {
        const Folder &f = all[items[i].index];
        x.open("workspace");
        x.el("comment", f.comment)
            .el("folderStyle", f.style)
            .el("id", f.id)
            .flag("isDataBox", f.databox);
        x.flag("isFavorite", favs.count(f.id) > 0).el("name", f.name).open("parents");
        for (int64_t id : items[i].path)
            x.open("parent").el("id", id).close("parent");
        x.close("parents")
            .flag("readOnly", f.readOnly)
            .el("updateName", f.updateName)
            .el("updateTime", f.updateTime);
        x.close("workspace");
    }
    x.close("workspaces").close("listResponse");
    return x.s;
}

std::string Service::opWorkspaceInfo(Ctx &c, const Params &p)
{
    Folder f = requireFolder(c, paramInt(p, "workspaceId"), false);
    Xml x;
    x.open("infoResponse").open("workspace");
    writeWorkspace(x, c, f);
    x.close("workspace").close("infoResponse");
    return x.s;
}

std::string Service::opWorkspaceCreate(Ctx &c, const Params &p)
{
    int64_t parentId = paramInt(p, "workspaceId");
    std::optional<Folder> parent;
    int depth = 1;
    if (parentId != 0) {
        parent = requireFolder(c, parentId, false);
        depth = int(chain(c.office, *parent).size()) + 1;
    }
    bool databox = paramFlag(p, "databox") || (parent && parent->databox);
    if (!c.right(databox ? "privFolderCreateDataBox" : "privFolderCreate"))
        fault("30004", "フォルダを作成する権限がありません。", 403);
    if (parent && parent->readOnly)
        fault("30004", "読み取り専用のフォルダにはフォルダを作成できません。", 403);
    std::string name = param(p, "name");
    checkFolderName(c, name, parentId == 0);
    if (depth > c.num("maxFolderDepth"))
        fault("30007", "フォルダの階層数が制限(" + std::to_string(c.num("maxFolderDepth"))
                           + ")を越えています。");
    std::string comment = param(p, "comment");
    if (int64_t(utf8Length(comment)) > c.num("maxFolderCommentLength")
        || !isCleanText(comment, true))
        fault("10004", "コメントが長過ぎるか、使えない文字を含みます。");
    if (db_->q("SELECT 1 FROM folders WHERE office_id=? AND parent_id=? AND name=? COLLATE vqcase",
               c.office, parentId, name)
            .step())
        fault("30008", "同じ名前のフォルダが存在します。(" + name + ")", 409);
    db_->q("INSERT INTO folders(office_id, parent_id, name, folder_style, comment, is_databox, "
           "read_only, "
           "update_name, update_time) VALUES(?,?,?,?,?,?,0,?,?)",
           c.office, parentId, name, paramIn(p, "folderStyle", 0, 0, INT32_MAX), comment,
           int64_t(databox), c.dispName, nowText())
        .run();
    Folder f = *loadFolder(c.office, db_->lastId());
    bump(c.office);
    Xml x;
    x.open("createResponse").open("workspace");
    writeWorkspace(x, c, f);
    x.close("workspace").close("createResponse");
    return x.s;
}

std::string Service::opWorkspaceUpdate(Ctx &c, const Params &p)
{
    Folder f = requireFolder(c, paramInt(p, "workspaceId"), false);
    if (!c.right(f.databox ? "privFolderCreateDataBox" : "privFolderCreate"))
        fault("30004", "フォルダを変更する権限がありません。", 403);
    std::string name = param(p, "name", f.name);
    if (name.empty())
        name = f.name;
    if (name != f.name) {
        checkFolderName(c, name, f.parent == 0);
        if (db_->q("SELECT 1 FROM folders WHERE office_id=? AND parent_id=? AND name=? COLLATE "
                   "vqcase AND id<>?",
                   c.office, f.parent, name, f.id)
                .step())
            fault("30008", "同じ名前のフォルダが存在します。(" + name + ")", 409);
    }
    std::string comment = p.count("comment") ? param(p, "comment") : f.comment;
    if (int64_t(utf8Length(comment)) > c.num("maxFolderCommentLength")
        || !isCleanText(comment, true))
        fault("10004", "コメントが長過ぎるか、使えない文字を含みます。");
    int64_t style = p.count("folderStyle") ? paramIn(p, "folderStyle", 0, 0, INT32_MAX) : f.style;
    db_->q("UPDATE folders SET name=?, comment=?, folder_style=?, update_name=?, update_time=? "
           "WHERE id=?",
           name, comment, style, c.dispName, nowText(), f.id)
        .run();
    if (paramFlag(p, "recursive"))
        for (int64_t id : subtree(c.office, f.id))
            db_->q("UPDATE folders SET folder_style=? WHERE id=?", style, id).run();
    bump(c.office);
    Folder n = *loadFolder(c.office, f.id);
    Xml x;
    x.open("updateResponse").open("workspace");
    writeWorkspace(x, c, n);
    x.close("workspace").close("updateResponse");
    return x.s;
}

std::string Service::opWorkspaceDelete(Ctx &c, const Params &p)
{
    Folder f = requireFolder(c, paramInt(p, "workspaceId"), false);
    if (!c.right(f.databox ? "privFolderDeleteDataBox" : "privFolderDelete"))
        fault("30004", "フォルダを削除する権限がありません。", 403);
    std::vector<int64_t> ids = subtree(c.office, f.id);
    for (size_t i = 0; i < ids.size(); ++i) {
        Folder s = *loadFolder(c.office, ids[i]);
        if (i > 0 && !c.right(s.databox ? "privFolderDeleteDataBox" : "privFolderDelete"))
            fault("30011", "削除できないサブフォルダがあります。", 409);
        auto st = db_->q("SELECT COUNT(*), SUM(lock_key<>'') FROM files WHERE folder_id=?", s.id);
        st.step();
        if (st.i(1) > 0)
            fault("30013", "ロック中のファイルがあります。", 409);
        if (st.i(0) > 0 && !c.right(s.databox ? "privFileDeleteDataBox" : "privFileDelete"))
            fault("30012", "削除できないファイルがあります。", 409);
    }
    Xml x;
    x.open("deleteResponse").open("workspace");
    writeWorkspace(x, c, f);
    x.close("workspace").close("deleteResponse");
    for (int64_t id : ids) {
        std::vector<std::string> names;
        {
            auto st = db_->q("SELECT name FROM files WHERE folder_id=?", id);
            while (st.step())
                names.push_back(st.t(0));
        }
        for (const auto &n : names)
            recordDeleted(c.office, id, n, c.dispName);
        db_->q("DELETE FROM files WHERE folder_id=?", id).run();
        db_->q("DELETE FROM favorites WHERE folder_id=?", id).run();
        db_->q("DELETE FROM folders WHERE id=?", id).run();
    }
    bump(c.office);
    return x.s;
}

std::string Service::opWorkspaceMove(Ctx &c, const Params &p)
{
    Folder src = requireFolder(c, paramInt(p, "srcWorkspaceId"), false);
    int64_t dstId = paramInt(p, "dstWorkspaceId");
    std::optional<Folder> dst;
    int dstDepth = 0;
    if (dstId != 0) {
        dst = requireFolder(c, dstId, false);
        dstDepth = int(chain(c.office, *dst).size());
    }
    // A DataBox folder on either side needs the DataBox right, as folder copy does.
    const bool databox = src.databox || (dst && dst->databox);
    if (!c.right(databox ? "privFolderMoveDataBox" : "privFolderMove"))
        fault("30004", "フォルダを移動する権限がありません。", 403);
    std::vector<int64_t> ids = subtree(c.office, src.id);
    if (std::find(ids.begin(), ids.end(), dstId) != ids.end())
        fault("30004", "移動するフォルダ自身の下へは移動できません。", 409);
    if (dst && dst->readOnly)
        fault("30004", "読み取り専用のフォルダには移動できません。", 403);
    if (dstId == 0 || dstId != src.parent)
        checkFolderName(c, src.name, dstId == 0);
    if (dstDepth + subtreeDepth(c.office, src.id) > c.num("maxFolderDepth"))
        fault("30007", "フォルダの階層数が制限を越えています。");
    if (db_->q("SELECT 1 FROM folders WHERE office_id=? AND parent_id=? AND name=? COLLATE vqcase "
               "AND id<>?",
               c.office, dstId, src.name, src.id)
            .step())
        fault("30008", "移動先に同じ名前のフォルダが存在します。", 409);
    for (int64_t id : ids)
        if (db_->q("SELECT 1 FROM files WHERE folder_id=? AND lock_key<>''", id).step())
            fault("30013", "ロック中のファイルがあります。", 409);
    db_->q("UPDATE folders SET parent_id=?, update_name=?, update_time=? WHERE id=?", dstId,
           c.dispName, nowText(), src.id)
        .run();
    // Below a DataBox folder everything is DataBox, as created and copied folders are.
    if (dst && dst->databox)
        for (int64_t id : ids)
            db_->q("UPDATE folders SET is_databox=1 WHERE id=?", id).run();
    bump(c.office);
    Folder moved = *loadFolder(c.office, src.id);
    Xml x;
    x.open("moveResponse").open("dstWorkspace");
    writeWorkspace(x, c, moved);
    x.close("dstWorkspace").open("dstWorkspace");
    writeWorkspace(x, c, dst ? *loadFolder(c.office, dstId) : moved);
    x.close("dstWorkspace").close("moveResponse");
    return x.s;
}

std::string Service::opWorkspaceCopy(Ctx &c, const Params &p)
{
    Folder src = requireFolder(c, paramInt(p, "srcWorkspaceId"), false);
    int64_t dstId = paramInt(p, "dstWorkspaceId");
    std::optional<Folder> dst;
    int dstDepth = 0;
    if (dstId != 0) {
        dst = requireFolder(c, dstId, false);
        dstDepth = int(chain(c.office, *dst).size());
    }
    bool databox = src.databox || (dst && dst->databox);
    if (!c.right(databox ? "privFolderCreateDataBox" : "privFolderCreate"))
        fault("30004", "フォルダを作成する権限がありません。", 403);
    if (dst && dst->readOnly)
        fault("30004", "読み取り専用のフォルダにはコピーできません。", 403);
    std::string name = param(p, "dstName");
    if (name.empty())
        name = src.name;
    checkFolderName(c, name, dstId == 0);
    std::vector<int64_t> ids = subtree(c.office, src.id);
    if (std::find(ids.begin(), ids.end(), dstId) != ids.end())
        fault("30004", "コピーするフォルダ自身の下へはコピーできません。", 409);
    if (dstDepth + subtreeDepth(c.office, src.id) > c.num("maxFolderDepth"))
        fault("30007", "フォルダの階層数が制限を越えています。");
    if (db_->q("SELECT 1 FROM folders WHERE office_id=? AND parent_id=? AND name=? COLLATE vqcase",
               c.office, dstId, name)
            .step())
        fault("30008", "コピー先に同じ名前のフォルダが存在します。", 409);
    // The copy is the folder structure only: the new folders start empty.
    std::string now = nowText();
    std::function<int64_t(int64_t, int64_t, const std::string &)> copy
        = [&](int64_t from, int64_t parent, const std::string &newName) {
              Folder f = *loadFolder(c.office, from);
              db_->q("INSERT INTO folders(office_id, parent_id, name, folder_style, comment, "
                     "is_databox, read_only, "
                     "update_name, update_time) VALUES(?,?,?,?,?,?,?,?,?)",
                     c.office, parent, newName, f.style, f.comment, int64_t(f.databox || databox),
                     int64_t(f.readOnly), c.dispName, now)
                  .run();
              int64_t id = db_->lastId();
              std::vector<std::pair<int64_t, std::string>> kids;
              {
                  auto st = db_->q("SELECT id, name FROM folders WHERE office_id=? AND parent_id=?",
                                   c.office, from);
                  while (st.step())
                      kids.emplace_back(st.i(0), st.t(1));
              }
              for (auto &[kid, kidName] : kids)
                  copy(kid, id, kidName);
              return id;
          };
    int64_t newId = copy(src.id, dstId, name);
    bump(c.office);
    Xml x;
    x.open("copyResponse").open("dstWorkspace");
    writeWorkspace(x, c, *loadFolder(c.office, newId));
    x.close("dstWorkspace").close("copyResponse");
    return x.s;
}

std::string Service::opWorkspaceFind(Ctx &c, const Params &p)
{
    std::string path = param(p, "path");
    int64_t current = 0;
    std::optional<Folder> found;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        std::string seg = path.substr(pos, slash - pos);
        pos = slash + 1;
        if (seg.empty())
            continue;
        auto st = db_->q(
            std::string("SELECT ") + kFolderCols
                + " FROM folders WHERE office_id=? AND parent_id=? AND name=? COLLATE vqcase",
            c.office, current, seg);
        if (!st.step())
            fault("30017", "指定されたフォルダが見つかりません。(" + path + ")", 404);
        found = folderFromRow(st);
        if (!visible(c, *found))
            fault("30017", "指定されたフォルダが見つかりません。(" + path + ")", 404);
        current = found->id;
    }
    if (!found)
        fault("30017", "指定されたフォルダが見つかりません。(" + path + ")", 404);
    Xml x;
    x.open("findResponse").open("workspace");
    writeWorkspace(x, c, *found);
    x.close("workspace").close("findResponse");
    return x.s;
}

} // namespace devserver
