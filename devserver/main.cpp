// velquor-devserver: a local implementation of the document-sharing service's HTTP API.

#include "HttpFront.h"
#include "Service.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <thread>

namespace fs = std::filesystem;
using namespace devserver;

namespace {

struct Options
{
    std::string host = "127.0.0.1";
    int port = 0;
    std::string data;
    std::string seed = "demo";
    bool https = false;
    std::string cert, key;
    bool hooks = false;
    std::string rootPrefix;
    int64_t accessKeyLifetime = 86400;
};

[[noreturn]] void usage(const std::string &error)
{
    std::cerr << "velquor-devserver: " << error << "\n"
              << "usage: velquor-devserver [--host 127.0.0.1] [--port N|0] [--data DIR] "
                 "[--seed demo|empty|scale:folders=N,files=M|page:subfolders=N,files=M|"
                 "bulk:files=N] "
                 "[--https [--cert F --key F]] "
                 "[--test-hooks] "
                 "[--root-prefix P] [--access-key-lifetime SECONDS]\n";
    std::exit(2);
}

Options parse(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage("missing value of " + a);
            return argv[++i];
        };
        if (a == "--host")
            o.host = value();
        else if (a == "--port")
            o.port = std::atoi(value().c_str());
        else if (a == "--data")
            o.data = value();
        else if (a == "--seed")
            o.seed = value();
        else if (a == "--https")
            o.https = true;
        else if (a == "--cert")
            o.cert = value();
        else if (a == "--key")
            o.key = value();
        else if (a == "--test-hooks")
            o.hooks = true;
        else if (a == "--root-prefix")
            o.rootPrefix = value();
        else if (a == "--access-key-lifetime")
            o.accessKeyLifetime = std::atoll(value().c_str());
        else
            usage("unknown argument " + a);
    }
    while (!o.rootPrefix.empty() && o.rootPrefix.front() == '/')
        o.rootPrefix.erase(0, 1);
    while (!o.rootPrefix.empty() && o.rootPrefix.back() == '/')
        o.rootPrefix.pop_back();
    if (o.seed != "demo" && o.seed != "empty" && o.seed.rfind("scale:", 0) != 0
        && o.seed.rfind("page:", 0) != 0 && o.seed != "bulk" && o.seed.rfind("bulk:", 0) != 0)
        usage("unknown seed " + o.seed);
    return o;
}

std::map<std::string, std::string> firstValues(const httplib::Params &params)
{
    std::map<std::string, std::string> out;
    for (const auto &[k, v] : params)
        out.emplace(k, v);
    return out;
}

bool hasDotSegment(const std::string &path)
{
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find_first_of("/\\", pos);
        if (slash == std::string::npos)
            slash = path.size();
        std::string seg = path.substr(pos, slash - pos);
        if (seg == "..")
            return true;
        pos = slash + 1;
    }
    return false;
}

void sendFault(httplib::Response &res, int status, const std::string &code,
               const std::string &message)
{
    Xml x;
    x.s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    x.open("velquor")
        .open("apiFault")
        .el("code", code)
        .el("message", message)
        .close("apiFault")
        .close("velquor");
    res.status = status;
    res.set_content(x.s, "text/xml; charset=UTF-8");
}

// Form bodies and the fields around an upload are small; a larger one is refused, not cut.
constexpr size_t kFormLimit = size_t(4) << 20;
// What a multipart upload carries besides the file: boundaries, part headers, form fields.
constexpr int64_t kMultipartSlack = int64_t(1) << 20;

void refuseUnread(httplib::Response &res, int status, const std::string &code,
                  const std::string &message)
{
    sendFault(res, status, code, message);
    closeConnectionAfterReply();
}

// Checks the one byte range a download may ask for against the file's size and makes it
// concrete (httplib would otherwise compute a negative length from a range past the end).
// False when it cannot be satisfied.
bool settleRange(const httplib::Request &req, int64_t size)
{
    if (req.ranges.empty())
        return true;
    // The request is httplib's own object, only handed to handlers as const; its ranges are
    // what httplib applies to the answer.
    auto &ranges = const_cast<httplib::Request &>(req).ranges;
    if (req.ranges.size() != 1) {
        ranges.clear(); // the fault's body goes out whole
        return false;
    }
    const auto [first, last] = req.ranges.front();
    int64_t from = first, to = last;
    if (first < 0) { // "bytes=-N": the last N bytes
        if (last <= 0)
            return false;
        from = std::max<int64_t>(0, size - last);
        to = size - 1;
    } else if (last < 0 || last >= size) {
        to = size - 1;
    }
    if (from >= size || from > to) {
        ranges.clear();
        return false;
    }
    ranges = {{ssize_t(from), ssize_t(to)}};
    return true;
}

void sendReply(httplib::Response &res, const ApiReply &r, const httplib::Request &req)
{
    if (r.stream && r.status == 200 && !settleRange(req, r.fileSize)) {
        sendFault(res, 416, "10004", "指定された範囲はファイルの大きさを超えています。");
        res.set_header("Content-Range", "bytes */" + std::to_string(r.fileSize));
        return;
    }
    if (!r.stream || r.status != 200)
        res.status = r.status; // a streamed 200 is left to httplib, which makes it 206 when ranged
    if (!r.stream && r.cut && r.body.size() > 1) {
        // The connection closes after half of the answer.
        auto body = std::make_shared<std::string>(r.body);
        res.set_content_provider(body->size(), r.contentType.c_str(),
                                 [body](size_t offset, size_t, httplib::DataSink &sink) {
                                     size_t half = body->size() / 2;
                                     if (offset >= half)
                                         return false;
                                     return sink.write(body->data() + offset, half - offset);
                                 });
        return;
    }
    if (!r.stream) {
        res.set_content(r.body, r.contentType.c_str());
        return;
    }
    res.set_header("X-Velquor-Digest", r.digest);
    int fd = ::open(r.filePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        sendFault(res, 500, "10004", "ファイルの内容を読み出せません。");
        return;
    }
    if (r.fileSize == 0) {
        ::close(fd);
        res.set_content("", r.contentType.c_str());
        return;
    }
    int64_t size = r.fileSize;
    bool cut = r.cut, wrong = r.wrongBytes;
    auto buffer = std::make_shared<std::vector<char>>(size_t(4) << 20);
    res.set_content_provider(
        size_t(size), r.contentType.c_str(),
        [fd, size, cut, wrong, buffer](size_t offset, size_t length, httplib::DataSink &sink) {
            // A cut connection delivers the first half of the body only.
            if (cut && int64_t(offset) >= size / 2)
                return false;
            size_t want = std::min(length, buffer->size());
            if (cut)
                want = std::min<size_t>(want,
                                        size_t(std::max<int64_t>(1, size / 2 - int64_t(offset))));
            ssize_t n = ::pread(fd, buffer->data(), want, off_t(offset));
            if (n <= 0)
                return false;
            if (wrong)
                for (ssize_t i = 0; i < n; ++i)
                    (*buffer)[size_t(i)] = char(~(*buffer)[size_t(i)]);
            return sink.write(buffer->data(), size_t(n));
        },
        [fd](bool) { ::close(fd); });
}

} // namespace

int main(int argc, char **argv)
{
    Options opt = parse(argc, argv);

    // Signals are taken by one thread only, which stops the server.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signal(SIGPIPE, SIG_IGN);

    bool tempData = opt.data.empty();
    if (tempData) {
        std::string tmpl = (fs::temp_directory_path() / "velquor-devserver-XXXXXX").string();
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data())) {
            std::cerr << "velquor-devserver: cannot create a temporary folder\n";
            return 1;
        }
        opt.data = buf.data();
    }
    int rc = 0;
    try {
        fs::create_directories(opt.data);
        Service service(opt.data, opt.seed, opt.accessKeyLifetime);
        FrontServer svr;
        svr.set_keep_alive_max_count(1000);
        // Kept-alive connections hold a worker each; the client and the tests open several.
        svr.new_task_queue = [] { return new httplib::ThreadPool(32); };
        if (opt.https) {
            if (opt.cert.empty() || opt.key.empty()) {
                opt.cert = opt.data + "/cert.pem";
                opt.key = opt.data + "/key.pem";
                std::string error;
                if (!fs::exists(opt.cert) && !makeSelfSignedCert(opt.cert, opt.key, error))
                    throw std::runtime_error(error);
            }
            if (!svr.enableTls(opt.cert, opt.key))
                throw std::runtime_error("cannot load certificate " + opt.cert);
        }
        const std::string apiRoot
            = "/" + (opt.rootPrefix.empty() ? std::string() : opt.rootPrefix + "/");

        auto route = [&](const httplib::Request &req, httplib::Response &res, ApiRequest &api) {
            const std::string &path = req.path;
            if (hasDotSegment(path) || path.find('\0') != std::string::npos) {
                sendFault(res, 400, "10004", "パスが正しくありません。");
                return;
            }
            if (path.rfind("/__devserver/", 0) == 0) {
                if (!opt.hooks) {
                    sendFault(res, 404, "10004", "この操作はありません。");
                    return;
                }
                std::string out;
                int status = service.hook(path.substr(13), api.params, out);
                res.status = status;
                res.set_content(out, "text/plain; charset=UTF-8");
                return;
            }
            for (auto [prefix, page] : std::vector<std::pair<std::string, std::string>>{
                     {"/apps/client/a/login", "a/login"},
                     {"/a/login", "a/login"},
                     {"/apps/manager/u/login.do", "u/login.do"},
                     {"/u/login.do", "u/login.do"}})
                if (path == prefix) {
                    res.set_content(service.webPage(page, api.params), "text/html; charset=UTF-8");
                    return;
                }
            std::string rest;
            if (path.rfind(apiRoot + "apps/api/apis/", 0) == 0)
                api.op = path.substr(apiRoot.size() + 14);
            else if (path.rfind(apiRoot + "apps/api/autoupdate/", 0) == 0)
                api.op = "autoupdate/" + path.substr(apiRoot.size() + 20);
            else {
                sendFault(res, 404, "10004", "この操作はありません: " + path);
                return;
            }
            api.method = req.method;
            api.accessKey = req.get_header_value("x-velquor-access-key");
            // A name is never "..": such a path parameter is an attempt to leave the folder.
            for (const auto &[k, v] : api.params)
                if ((k == "path" || k == "srcPath" || k == "dstPath") && hasDotSegment(v)) {
                    sendFault(res, 400, "10004", "パスが正しくありません。");
                    return;
                }
            sendReply(res, service.api(api), req);
        };

        svr.Get(".*", [&](const httplib::Request &req, httplib::Response &res) {
            ApiRequest api;
            api.params = firstValues(req.params);
            route(req, res, api);
        });
        // The API operation a path names ("file/create"), empty for anything else.
        auto opOf = [&](const std::string &path) {
            if (path.rfind(apiRoot + "apps/api/apis/", 0) == 0)
                return path.substr(apiRoot.size() + 14);
            return std::string();
        };
        svr.Post(".*", [&](const httplib::Request &req, httplib::Response &res,
                           const httplib::ContentReader &reader) {
            ApiRequest api;
            api.params = firstValues(req.params); // query parameters, if any
            // What the body may hold is known from the headers: an upload refused for its key
            // or its size, or an oversized form, is answered before a byte of it is read.
            const std::string op = opOf(req.path);
            const bool upload
                = req.is_multipart_form_data() && (op == "file/create" || op == "file/update");
            int64_t fileLimit = 0;
            if (upload) {
                try {
                    fileLimit = service.uploadLimit(req.get_header_value("x-velquor-access-key"));
                } catch (const Fault &f) {
                    refuseUnread(res, f.status, f.code, f.message);
                    service.logRequest("POST", op, f.status);
                    return;
                }
            }
            const int64_t bodyLimit = upload ? fileLimit + kMultipartSlack : int64_t(kFormLimit);
            if (req.has_header("Content-Length")) {
                errno = 0;
                const long long length
                    = std::strtoll(req.get_header_value("Content-Length").c_str(), nullptr, 10);
                if (errno == ERANGE || length > bodyLimit) {
                    refuseUnread(res, 413, "10007",
                                 upload ? "ファイルサイズが上限(" + std::to_string(fileLimit)
                                              + " バイト)を超えています。"
                                        : std::string("リクエストが大き過ぎます。"));
                    service.logRequest("POST", op, 413);
                    return;
                }
            }
            if (req.is_multipart_form_data()) {
                std::string tmpPath = service.tmpDir() + "/up-" + randomHex(8);
                FILE *out = nullptr;
                Md5Stream md5;
                std::string field, current;
                bool inFile = false, ok = true, tooLarge = false;
                size_t fieldBytes = 0;
                std::map<std::string, std::string> fields;
                bool parsed = reader(
                    [&](const httplib::MultipartFormData &part) {
                        if (inFile && out) {
                            std::fclose(out);
                            out = nullptr;
                        } else if (!current.empty()) {
                            fields.emplace(current, field);
                        }
                        field.clear();
                        current = part.name;
                        inFile = upload && part.name == "file" && !api.hasUpload;
                        if (inFile) {
                            out = std::fopen(tmpPath.c_str(), "wb");
                            api.hasUpload = out != nullptr;
                            ok = ok && out != nullptr;
                            current.clear();
                        }
                        return ok;
                    },
                    [&](const char *data, size_t len) {
                        if (inFile) {
                            // A body longer than its headers said still stops at the limit.
                            if (api.uploadSize + int64_t(len) > fileLimit) {
                                tooLarge = true;
                                return false;
                            }
                            if (!out || std::fwrite(data, 1, len, out) != len)
                                return false;
                            md5.add(data, len);
                            api.uploadSize += int64_t(len);
                        } else {
                            fieldBytes += len;
                            if (fieldBytes > kFormLimit) {
                                tooLarge = true;
                                return false;
                            }
                            field.append(data, len);
                        }
                        return true;
                    });
                if (out)
                    std::fclose(out);
                else if (!current.empty())
                    fields.emplace(current, field);
                if (!parsed || !ok) {
                    std::error_code ec;
                    fs::remove(tmpPath, ec);
                    if (tooLarge)
                        refuseUnread(res, 413, "10007", "リクエストが大き過ぎます。");
                    else
                        sendFault(res, 400, "10004", "マルチパートの形式が正しくありません。");
                    return;
                }
                for (auto &[k, v] : fields)
                    api.params[k] = v;
                if (api.hasUpload) {
                    api.uploadPath = tmpPath;
                    api.uploadMd5 = md5.finishHex();
                }
                route(req, res, api);
                std::error_code ec;
                fs::remove(tmpPath, ec);
                return;
            }
            std::string body;
            bool tooLarge = false;
            reader([&](const char *data, size_t len) {
                if (body.size() + len > kFormLimit) {
                    tooLarge = true;
                    return false;
                }
                body.append(data, len);
                return true;
            });
            if (tooLarge) {
                refuseUnread(res, 413, "10007", "リクエストが大き過ぎます。");
                service.logRequest("POST", op, 413);
                return;
            }
            for (auto &[k, v] : parseUrlEncoded(body))
                api.params[k] = v;
            route(req, res, api);
        });

        int port = opt.port;
        if (port == 0)
            port = svr.bind_to_any_port(opt.host);
        else if (!svr.bind_to_port(opt.host, port))
            port = -1;
        if (port <= 0)
            throw std::runtime_error("cannot bind " + opt.host + ":" + std::to_string(opt.port));
        std::thread stopper([&svr, set]() {
            int sig = 0;
            sigwait(&set, &sig);
            svr.stop();
        });
        std::cout << "listening on " << (opt.https ? "https" : "http") << "://" << opt.host << ":"
                  << port << std::endl;
        svr.listen_after_bind();
        // When listening ended for another reason, release the signal thread.
        pthread_kill(stopper.native_handle(), SIGTERM);
        stopper.join();
    } catch (const std::exception &e) {
        std::cerr << "velquor-devserver: " << e.what() << "\n";
        rc = 1;
    }
    if (tempData) {
        std::error_code ec;
        fs::remove_all(opt.data, ec);
    }
    return rc;
}
