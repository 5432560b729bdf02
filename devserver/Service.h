#pragma once

// The service itself: state in SQLite, one transaction per request, serialised by one lock.

#include "Support.h"

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace devserver {

struct Fault
{
    std::string code;
    std::string message;
    int status = 400;
};

struct ApiRequest
{
    std::string method; // "GET" or "POST"
    std::string op;     // "login", "file/get", "autoupdate/version", ...
    std::map<std::string, std::string> params;
    std::string accessKey;
    bool hasRange = false;
    int64_t rangeStart = 0;
    // Upload (multipart part "file"), already stored in a temporary file.
    bool hasUpload = false;
    std::string uploadPath;
    std::string uploadMd5;
    int64_t uploadSize = 0;
};

struct ApiReply
{
    int status = 200;
    std::string body;
    std::string contentType = "text/xml; charset=UTF-8";
    // A file body streamed from the blob store.
    bool stream = false;
    std::string filePath;
    int64_t fileSize = 0;
    std::string digest;
    bool cut = false;        // close the connection after half of the body
    bool wrongBytes = false; // flip the bytes of the body
};

struct Injection
{
    std::string mode; // fault, html, empty, noelement, delay, cut, wrongbytes, dropchild
    std::string code, message;
    std::string child; // dropchild: the element left out
    int index = 2;     // dropchild: of which occurrence (from 1)
    int status = 500;
    int delayMs = 0;
};

// A change armed by the touch hook: once `after` more requests of `op` have been answered,
// the next one first gives the file a new update time (and new bytes when content is set).
struct ArmedTouch
{
    std::string op;
    int after = 1;
    int64_t fileId = 0;
    bool newContent = false;
    std::string content;
};

class Service
{
public:
    Service(const std::string &dataDir, const std::string &seed, int64_t accessKeyLifetime);
    ~Service();

    ApiReply api(ApiRequest &req);
    // Test hooks; answers plain text. Returns false with the reason in `out` on a bad call.
    int hook(const std::string &name, const std::map<std::string, std::string> &params,
             std::string &out);
    std::string webPage(const std::string &page, const std::map<std::string, std::string> &params);

    // The most bytes an upload of this access key may carry (its maxFileSize); faults of the
    // key are thrown as Fault. Lets an upload be refused before its body is read.
    int64_t uploadLimit(const std::string &accessKey);
    std::string tmpDir() const { return dataDir_ + "/tmp"; }
    // Consumes one pending injection for the operation (delay injections are returned too).
    std::optional<Injection> takeInjection(const std::string &op);
    // Carries out the armed touches that are due before this request of op is answered
    // (database lock held, inside its transaction).
    void applyArmedTouches(const std::string &op);
    void logRequest(const std::string &method, const std::string &op, int status);

    // Records of the implementation (defined in ServiceImpl.h).
    struct Ctx;
    struct Folder;
    struct File;

private:
    using Params = std::map<std::string, std::string>;
    // What a listing operation answers: the items, their number, or where one item stands.
    enum class ListKind { List, Count, Offset };
    // One API operation. Only register and login are reached without an access key; their
    // handlers get an empty Ctx.
    struct Operation
    {
        std::string path; // "workspace/list", "autoupdate/get", ...
        std::string method;
        bool needsKey;
        std::function<ApiReply(Service &, Ctx &, ApiRequest &)> handler;
    };
    static const std::vector<Operation> &operations();

    int runHook(const std::string &name, const std::map<std::string, std::string> &params,
                std::string &out);
    void createSchema();
    void applySeed(const std::string &seed);
    void seedUsers(int64_t office);
    void seedDemo(int64_t office);
    void seedScale(int64_t office, int folders, int files);
    void seedPage(int64_t office, int subfolders, int files);
    void seedBulk(int64_t office, int files);
    std::string storeBlob(const std::string &bytes); // returns the digest
    std::string blobPath(const std::string &digest) const;

    Ctx authenticate(const std::string &accessKey);
    ApiReply dispatch(ApiRequest &req);

    // operations
    std::string opRegister(const Params &p);
    std::string opLogin(const Params &p);
    std::string opLogout(Ctx &c);
    std::string opUpdateCounter(Ctx &c);
    std::string opWorkspaceList(Ctx &c, const Params &p, ListKind kind);
    std::string listWorkspaces(Ctx &c, const Params &p, ListKind kind);
    std::string opWorkspaceInfo(Ctx &c, const Params &p);
    std::string opWorkspaceCreate(Ctx &c, const Params &p);
    std::string opWorkspaceUpdate(Ctx &c, const Params &p);
    std::string opWorkspaceDelete(Ctx &c, const Params &p);
    std::string opWorkspaceMove(Ctx &c, const Params &p);
    std::string opWorkspaceCopy(Ctx &c, const Params &p);
    std::string opWorkspaceFind(Ctx &c, const Params &p);
    std::string opFileList(Ctx &c, const Params &p, ListKind kind);
    std::string opFileInfo(Ctx &c, const Params &p);
    ApiReply opFileGet(Ctx &c, const ApiRequest &r);
    std::string opFileUpload(Ctx &c, const ApiRequest &r, bool create);
    std::string opFileDelete(Ctx &c, const Params &p);
    std::string opFileLock(Ctx &c, const Params &p, bool lock);
    std::string opFileMoveCopy(Ctx &c, const Params &p, bool move);
    std::string opVoucher(Ctx &c, const Params &p);
    std::string opComment(Ctx &c, const Params &p);
    std::string opFavorite(Ctx &c, const Params &p, const std::string &what);
    std::string opFileTypes(Ctx &c, bool list);
    std::string opInformationCount(Ctx &c);
    std::string opBulk(Ctx &c, const Params &p, const std::string &what);
    std::string opAutoUpdateVersion();
    ApiReply opAutoUpdateGet();

    // helpers
    std::optional<Folder> loadFolder(int64_t office, int64_t id);
    Folder requireFolder(Ctx &c, int64_t id, bool forFile);
    std::vector<Folder> chain(int64_t office, const Folder &f);
    void writeWorkspace(Xml &x, Ctx &c, const Folder &f, const std::vector<int64_t> &pathIds);
    void writeWorkspace(Xml &x, Ctx &c, const Folder &f);
    std::optional<File> loadFile(int64_t office, int64_t folder, const std::string &name);
    File requireFile(Ctx &c, const Folder &f, const std::string &name, bool favoriteFault = false);
    void writeFile(Xml &x, Ctx &c, const File &f, bool favoriteOrder = false);
    bool isFavorite(Ctx &c, int64_t folder, const std::string &path);
    void bump(int64_t office);
    void checkRight(Ctx &c, const Folder &f, const char *right, const char *code);
    void checkFileName(Ctx &c, const std::string &name);
    void checkFolderName(Ctx &c, const std::string &name, bool top);
    int subtreeDepth(int64_t office, int64_t id);
    std::vector<int64_t> subtree(int64_t office, int64_t id); // id and everything below, pre-order
    std::string freeName(int64_t folder, const std::string &name);
    // The office's rule for a file name already taken in the destination of a create, copy
    // or move (the samename hook): "overwrite", "unique" or "refuse"; empty while the hook
    // has not set one (each operation keeps its own default then).
    std::string sameNameRule(int64_t office);
    void recordDeleted(int64_t office, int64_t folder, const std::string &name,
                       const std::string &by);
    std::string profileValue(int64_t user, const std::string &key);
    std::map<std::string, std::string> profile(int64_t user);

    std::string dataDir_;
    std::string seed_;
    int64_t accessKeyLifetime_;
    std::unique_ptr<Db> db_;
    std::mutex mutex_;

    // Rendered folder listings; valid while the database has not changed since.
    int64_t listCacheGeneration_ = -1;
    std::map<std::string, std::string> listCache_;

    std::mutex injMutex_;
    std::map<std::string, std::deque<Injection>> injections_;
    std::vector<ArmedTouch> touches_; // guarded by injMutex_
    struct LogEntry
    {
        int64_t seq;
        std::string method, op;
        int status;
    };
    std::mutex logMutex_;
    std::vector<LogEntry> log_;
    int64_t logSeq_ = 0;
};

} // namespace devserver
