#pragma once

// Records shared by the parts of the service implementation.

#include "Service.h"

#include <algorithm>
#include <cerrno>

namespace devserver {

struct Service::Folder
{
    int64_t id = 0;
    int64_t office = 0;
    int64_t parent = 0;
    std::string name;
    int64_t style = 0;
    std::string comment;
    bool databox = false;
    bool readOnly = false;
    std::string updateName;
    std::string updateTime;
};

struct Service::File
{
    int64_t id = 0;
    int64_t folder = 0;
    std::string name;
    std::string ext;
    int64_t size = 0;
    std::string digest;
    std::string fakeDigest;
    int64_t updateId = 0;
    std::string updateName, updateDispName, updateTime;
    std::string comment;
    int64_t commentUpdateId = 0;
    std::string commentUpdateDispName, commentUpdateTime;
    std::string lockKey;
    int64_t lockId = 0;
    std::string lockDispName;
    std::string txDate, txName;
    bool hasAmount = false;
    int64_t amount = 0;
    int64_t voucherId = 0;
};

struct Service::Ctx
{
    int64_t office = 0;
    int64_t user = 0;
    std::string clientKey;
    std::string accessKey;
    std::string name, dispName;
    std::map<std::string, std::string> prof;
    int64_t num(const std::string &k) const
    {
        auto it = prof.find(k);
        return it == prof.end() ? 0 : std::atoll(it->second.c_str());
    }
    bool right(const std::string &k) const { return num(k) != 0; }
};

inline const char *kFileCols = "id, folder_id, name, ext, size, digest, fake_digest, update_id, "
                               "update_name, update_disp_name, update_time, "
                               "comment, comment_update_id, comment_update_disp_name, "
                               "comment_update_time, lock_key, lock_id, lock_disp_name, "
                               "tx_date, tx_name, tx_amount, voucher_id";

inline Service::File fileFromRow(const Stmt &s, int o = 0)
{
    Service::File f;
    f.id = s.i(o + 0);
    f.folder = s.i(o + 1);
    f.name = s.t(o + 2);
    f.ext = s.t(o + 3);
    f.size = s.i(o + 4);
    f.digest = s.t(o + 5);
    f.fakeDigest = s.t(o + 6);
    f.updateId = s.i(o + 7);
    f.updateName = s.t(o + 8);
    f.updateDispName = s.t(o + 9);
    f.updateTime = s.t(o + 10);
    f.comment = s.t(o + 11);
    f.commentUpdateId = s.i(o + 12);
    f.commentUpdateDispName = s.t(o + 13);
    f.commentUpdateTime = s.t(o + 14);
    f.lockKey = s.t(o + 15);
    f.lockId = s.i(o + 16);
    f.lockDispName = s.t(o + 17);
    f.txDate = s.t(o + 18);
    f.txName = s.t(o + 19);
    f.hasAmount = !s.isNull(o + 20);
    f.amount = s.i(o + 20);
    f.voucherId = s.i(o + 21);
    return f;
}

inline const char *kFolderCols
    = "id, office_id, parent_id, name, folder_style, comment, is_databox, read_only, "
      "update_name, update_time";

inline Service::Folder folderFromRow(const Stmt &s)
{
    Service::Folder f;
    f.id = s.i(0);
    f.office = s.i(1);
    f.parent = s.i(2);
    f.name = s.t(3);
    f.style = s.i(4);
    f.comment = s.t(5);
    f.databox = s.i(6) != 0;
    f.readOnly = s.i(7) != 0;
    f.updateName = s.t(8);
    f.updateTime = s.t(9);
    return f;
}

[[noreturn]] inline void fault(const std::string &code, const std::string &message,
                               int status = 400)
{
    throw Fault{code, message, status};
}

inline std::string param(const std::map<std::string, std::string> &p, const std::string &k,
                         const std::string &def = std::string())
{
    auto it = p.find(k);
    return it == p.end() ? def : it->second;
}

inline int64_t paramInt(const std::map<std::string, std::string> &p, const std::string &k,
                        int64_t def = 0)
{
    auto it = p.find(k);
    if (it == p.end() || it->second.empty())
        return def;
    char *end = nullptr;
    errno = 0;
    long long v = std::strtoll(it->second.c_str(), &end, 10);
    if ((end && *end) || errno == ERANGE)
        fault("10004", "パラメータ " + k + " が正しくありません。");
    return v;
}

// A number that must lie in [min, max] (the client sends 32-bit values).
inline int64_t paramIn(const std::map<std::string, std::string> &p, const std::string &k,
                       int64_t def, int64_t min, int64_t max)
{
    const int64_t v = paramInt(p, k, def);
    if (v < min || v > max)
        fault("10004", "パラメータ " + k + " が正しくありません。");
    return v;
}

// A paging parameter (offset, limit): a number from 0 up; absent or empty gives def.
inline int64_t paramCount(const std::map<std::string, std::string> &p, const std::string &k,
                          int64_t def = 0)
{
    const int64_t v = paramInt(p, k, def);
    if (v < 0)
        fault("10004", "パラメータ " + k + " が正しくありません。");
    return v;
}

// The items [offset, offset + limit) of n, limit 0 meaning all, without overflow.
inline std::pair<size_t, size_t> pageRange(size_t n, int64_t offset, int64_t limit)
{
    const size_t begin = std::min<uint64_t>(uint64_t(offset), n);
    const size_t end = limit > 0 && uint64_t(limit) < n - begin ? begin + size_t(limit) : n;
    return {begin, end};
}

inline bool paramFlag(const std::map<std::string, std::string> &p, const std::string &k)
{
    std::string v = toLowerAscii(param(p, k));
    return v == "true" || v == "1" || v == "yes";
}

inline std::string extOf(const std::string &name)
{
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string()
                                                : toLowerAscii(name.substr(dot + 1));
}

// "path" parameters name a file directly in its folder: "/name" or "name".
inline std::string fileNameOf(const std::string &path)
{
    std::string n = path;
    while (!n.empty() && n.front() == '/')
        n.erase(0, 1);
    return n;
}

} // namespace devserver
