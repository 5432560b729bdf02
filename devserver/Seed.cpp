#include "SeedJpeg.h"
#include "ServiceImpl.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace devserver {

namespace {

uint32_t crc32(const std::string &data)
{
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : data)
        c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void le16(std::string &s, uint16_t v)
{
    s += char(v & 0xFF);
    s += char(v >> 8);
}
void le32(std::string &s, uint32_t v)
{
    le16(s, uint16_t(v & 0xFFFF));
    le16(s, uint16_t(v >> 16));
}

// A zip archive with stored (uncompressed) entries: enough for real xlsx/docx files.
std::string makeZip(const std::vector<std::pair<std::string, std::string>> &entries)
{
    std::string out, central;
    for (const auto &[name, data] : entries) {
        uint32_t crc = crc32(data), offset = uint32_t(out.size());
        std::string header;
        le32(header, 0x04034b50);
        le16(header, 20);
        le16(header, 0);
        le16(header, 0);
        le16(header, 0x6000); // 12:00
        le16(header, 0x5821); // 2024/01/01
        le32(header, crc);
        le32(header, uint32_t(data.size()));
        le32(header, uint32_t(data.size()));
        le16(header, uint16_t(name.size()));
        le16(header, 0);
        out += header + name + data;
        le32(central, 0x02014b50);
        le16(central, 20);
        le16(central, 20);
        le16(central, 0);
        le16(central, 0);
        le16(central, 0x6000);
        le16(central, 0x5821);
        le32(central, crc);
        le32(central, uint32_t(data.size()));
        le32(central, uint32_t(data.size()));
        le16(central, uint16_t(name.size()));
        le16(central, 0);
        le16(central, 0);
        le16(central, 0);
        le16(central, 0);
        le32(central, 0);
        le32(central, offset);
        central += name;
    }
    uint32_t cdOffset = uint32_t(out.size());
    out += central;
    le32(out, 0x06054b50);
    le16(out, 0);
    le16(out, 0);
    le16(out, uint16_t(entries.size()));
    le16(out, uint16_t(entries.size()));
    le32(out, uint32_t(central.size()));
    le32(out, cdOffset);
    le16(out, 0);
    return out;
}

std::string makeXlsx(const std::string &title,
                     const std::vector<std::pair<std::string, int64_t>> &rows)
{
    std::string sheet
        = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><worksheet "
          "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
    sheet += "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>" + xmlEscape(title)
             + "</t></is></c></row>";
    int r = 2;
    for (const auto &[label, value] : rows) {
        std::string n = std::to_string(r++);
        sheet += "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"inlineStr\"><is><t>"
                 + xmlEscape(label) + "</t></is></c><c r=\"B" + n + "\"><v>" + std::to_string(value)
                 + "</v></c></row>";
    }
    sheet += "</sheetData></worksheet>";
    return makeZip({
        {"[Content_Types].xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><Types "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Default "
         "Extension=\"rels\" "
         "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Default "
         "Extension=\"xml\" "
         "ContentType=\"application/xml\"/><Override PartName=\"/xl/workbook.xml\" "
         "ContentType=\"application/"
         "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/><Override "
         "PartName=\"/xl/worksheets/sheet1.xml\" "
         "ContentType=\"application/"
         "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/></Types>"},
        {"_rels/.rels",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><Relationships "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
         "Id=\"rId1\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
         "officeDocument\" "
         "Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><workbook "
         "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
         "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
         "relationships\"><sheets><sheet "
         "name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><Relationships "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
         "Id=\"rId1\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
         "Target=\"worksheets/sheet1.xml\"/></Relationships>"},
        {"xl/worksheets/sheet1.xml", sheet},
    });
}

std::string makeDocx(const std::string &title, const std::string &body)
{
    std::string doc
        = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><w:document "
          "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>";
    doc += "<w:p><w:r><w:t>" + xmlEscape(title) + "</w:t></w:r></w:p><w:p><w:r><w:t>"
           + xmlEscape(body) + "</w:t></w:r></w:p></w:body></w:document>";
    return makeZip({
        {"[Content_Types].xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><Types "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Default "
         "Extension=\"rels\" "
         "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Default "
         "Extension=\"xml\" "
         "ContentType=\"application/xml\"/><Override PartName=\"/word/document.xml\" "
         "ContentType=\"application/"
         "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>"},
        {"_rels/.rels",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><Relationships "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
         "Id=\"rId1\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
         "officeDocument\" "
         "Target=\"word/document.xml\"/></Relationships>"},
        {"word/document.xml", doc},
    });
}

std::string makePdf(const std::string &asciiTitle)
{
    std::string stream = "BT /F1 18 Tf 72 720 Td (" + asciiTitle + ") Tj ET";
    std::vector<std::string> objs = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << /Font "
        "<< /F1 5 0 R >> "
        ">> >>",
        "<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    std::string out = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objs.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + objs[i] + "\nendobj\n";
    }
    size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objs.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t o : offsets) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%010zu 00000 n \n", o);
        out += buf;
    }
    out += "trailer\n<< /Size " + std::to_string(objs.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
           + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

struct SeedUser
{
    int64_t id;
    std::string clientKey;
    std::string name, dispName;
};

const char *kAllRights[] = {"privWeb",
                            "privBulkDownload",
                            "privFileCreate",
                            "privFileOverwrite",
                            "privBulkUpload",
                            "privFileMove",
                            "privFileDelete",
                            "privFileDownload",
                            "privFolderCreate",
                            "privFolderMove",
                            "privFolderDelete",
                            "privReadonlyCreate",
                            "privFileRename",
                            "privEmptyFileUpload",
                            "privBulkUploadDataBox",
                            "privDataBox",
                            "privEditDataBox",
                            "privFileCommentEditDataBox",
                            "privFileCreateDataBox",
                            "privFileDeleteDataBox",
                            "privFileDownloadDataBox",
                            "privFileMoveDataBox",
                            "privFileOverwriteDataBox",
                            "privFileRenameDataBox",
                            "privFolderCreateDataBox",
                            "privFolderDeleteDataBox",
                            "privFolderMoveDataBox",
                            "privReadonlyCreateDataBox",
                            "showUpdateTime"};

} // namespace

void Service::applySeed(const std::string &seed)
{
    db_->exec("BEGIN IMMEDIATE");
    try {
        db_->q("INSERT INTO offices(code, name, furigana, disp_name, login_disp_name) "
               "VALUES('demo', "
               "'株式会社デモ会計事務所', 'カブシキガイシャデモカイケイジムショ', "
               "'デモ会計事務所', 'デモ会計事務所（本社）')")
            .run();
        int64_t office = db_->lastId();
        seedUsers(office);
        // A second office: its data must never reach the keys of the first.
        db_->q("INSERT INTO offices(code, name, furigana, disp_name, login_disp_name) "
               "VALUES('other', "
               "'ほか商事株式会社', 'ホカショウジ', 'ほか商事', 'ほか商事')")
            .run();
        int64_t other = db_->lastId();
        {
            std::string salt = randomHex(16);
            db_->q("INSERT INTO users(office_id, login_id, salt, hash, profile) VALUES(?,?,?,?,?)",
                   other, "tanaka", salt, pbkdf2Hex("tanaka-pass", salt),
                   std::string(
                       "name=田中 一郎\nfurigana=タナカ イチロウ\ndispName=田中 一郎\ntype=1\n"
                       "privFileDownload=1\nprivFileCreate=1\nprivFileOverwrite="
                       "1\nprivFolderCreate=1"))
                .run();
            db_->q("INSERT INTO folders(office_id, parent_id, name, update_name, update_time) "
                   "VALUES(?,0,?,?,?)",
                   other, "他社の秘密", "田中 一郎", "2024/02/01 10:00:00")
                .run();
            int64_t fid = db_->lastId();
            std::string content = "他社の機密情報です。\r\n";
            std::string d = storeBlob(content);
            db_->q("INSERT INTO files(office_id, folder_id, name, ext, size, digest, update_id, "
                   "update_name, "
                   "update_disp_name, update_time) VALUES(?,?,?,?,?,?,0,?,?,?)",
                   other, fid, "機密.txt", "txt", int64_t(content.size()), d, "田中 一郎",
                   "田中 一郎", "2024/02/01 10:00:00")
                .run();
        }
        // File types known to the service. accessType 2: opened for editing; 1: view only
        // (never opened for editing): pdf and images, and zip, which cannot be edited in place.
        struct Ft
        {
            int access;
            const char *ext, *name;
        };
        static const Ft types[]
            = {{2, "xlsx", "Microsoft Excel"}, {2, "XLS", "Microsoft Excel 97-2003"},
               {2, "docx", "Microsoft Word"},  {2, "doc", "Microsoft Word 97-2003"},
               {2, "csv", "CSV ファイル"},     {2, "txt", "テキスト文書"},
               {1, "pdf", "Adobe Acrobat"},    {1, "jpg", "JPEG 画像"},
               {1, "png", "PNG 画像"},         {1, "zip", "圧縮フォルダー"}};
        int pos = 1;
        for (const Ft &t : types)
            db_->q("INSERT INTO filetypes(office_id, pos, access_type, ext, name) "
                   "VALUES(?,?,?,?,?)",
                   office, pos++, t.access, t.ext, t.name)
                .run();
        std::string pkg = "VELQUOR setup package 2.0.0.1\n";
        std::string d = storeBlob(pkg);
        for (auto [k, v] : std::vector<std::pair<std::string, std::string>>{
                 {"update_version", "2.0.0.1"},
                 {"update_file_name", "VELQUOR_Setup_2.0.0.1.exe"},
                 {"update_digest", d},
                 {"update_size", std::to_string(pkg.size())}})
            db_->q("INSERT OR REPLACE INTO settings(key, value) VALUES(?,?)", k, v).run();

        if (seed == "demo" || seed.empty()) {
            seedDemo(office);
        } else if (seed.rfind("scale:", 0) == 0) {
            int folders = 10000, files = 100000;
            std::sscanf(seed.c_str(), "scale:folders=%d,files=%d", &folders, &files);
            seedScale(office, folders, files);
        } else if (seed.rfind("page:", 0) == 0) {
            int subfolders = 100, files = 5000;
            std::sscanf(seed.c_str(), "page:subfolders=%d,files=%d", &subfolders, &files);
            seedPage(office, subfolders, files);
        } else if (seed == "bulk" || seed.rfind("bulk:", 0) == 0) {
            int files = 2000;
            std::sscanf(seed.c_str(), "bulk:files=%d", &files);
            seedBulk(office, files);
        } else if (seed != "empty") {
            throw std::runtime_error("unknown seed " + seed);
        }
        db_->exec("COMMIT");
    } catch (...) {
        db_->exec("ROLLBACK");
        throw;
    }
}

void Service::seedUsers(int64_t office)
{
    std::string yamada
        = "name=山田 太郎\nfurigana=ヤマダ タロウ\ndispName=山田 太郎\ntype=1\ngenerationNum=3\n"
          "manualUrl=https://manual.velquor.example/\nshop=https://shop.velquor.example/\n"
          "twitter=https://twitter.example/velquor\nyoutube=https://youtube.example/velquor";
    for (const char *r : kAllRights)
        yamada += std::string("\n") + r + "=1";
    std::string suzuki
        = "name=鈴木 花子\nfurigana=スズキ ハナコ\ndispName=鈴木 花子\ntype=20\ngenerationNum=1\n"
          "privWeb=1\nprivFileCreate=1\nprivFileOverwrite=1\nprivFileDownload=1\nprivFileMove=1\n"
          "privFileRename=1\nprivDataBox=1\nprivFileDownloadDataBox=1\nmaxFileCreate=50";
    for (auto [login, pw, prof] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"yamada", "yamada-pass", yamada}, {"suzuki", "suzuki-pass", suzuki}}) {
        std::string salt = randomHex(16);
        db_->q("INSERT INTO users(office_id, login_id, salt, hash, profile) VALUES(?,?,?,?,?)",
               office, login, salt, pbkdf2Hex(pw, salt), prof)
            .run();
        // Each seed user owns one installation already, so that seed locks have a holder.
        db_->q("INSERT INTO clients(key, user_id, created) VALUES(?,?,?)", randomHex(16),
               db_->lastId(), nowText())
            .run();
    }
}

void Service::seedDemo(int64_t office)
{
    auto userRow = [&](const std::string &login) {
        auto st = db_->q("SELECT u.id, c.key FROM users u JOIN clients c ON c.user_id=u.id WHERE "
                         "u.office_id=? AND "
                         "u.login_id=? LIMIT 1",
                         office, login);
        st.step();
        SeedUser u{st.i(0), st.t(1), "", ""};
        u.name = profileValue(u.id, "name");
        u.dispName = profileValue(u.id, "dispName");
        return u;
    };
    SeedUser yamada = userRow("yamada"), suzuki = userRow("suzuki");
    auto folder = [&](int64_t parent, const std::string &name, bool databox = false,
                      bool readOnly = false, int64_t style = 0, const std::string &comment = "") {
        db_->q("INSERT INTO folders(office_id, parent_id, name, folder_style, comment, is_databox, "
               "read_only, "
               "update_name, update_time) VALUES(?,?,?,?,?,?,?,?,?)",
               office, parent, name, style, comment, int64_t(databox), int64_t(readOnly),
               yamada.dispName, "2024/04/01 09:00:00")
            .run();
        return db_->lastId();
    };
    int day = 0;
    auto file = [&](int64_t folderId, const std::string &name, const std::string &content,
                    const SeedUser &by, const std::string &comment = "") {
        std::string d = storeBlob(content);
        ++day;
        char when[32];
        std::snprintf(when, sizeof when, "2024/%02d/%02d %02d:%02d:00", 1 + (day / 28) % 12,
                      1 + day % 28, 9 + day % 9, (day * 7) % 60);
        db_->q("INSERT INTO files(office_id, folder_id, name, ext, size, digest, update_id, "
               "update_name, "
               "update_disp_name, update_time, comment, comment_update_id, "
               "comment_update_disp_name, "
               "comment_update_time) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
               office, folderId, name, extOf(name), int64_t(content.size()), d, by.id, by.name,
               by.dispName, std::string(when), comment, comment.empty() ? int64_t(0) : by.id,
               comment.empty() ? std::string() : by.dispName,
               comment.empty() ? std::string() : std::string(when))
            .run();
        return db_->lastId();
    };
    std::string jpg(reinterpret_cast<const char *>(kSeedJpeg), sizeof kSeedJpeg);

    int64_t keiri = folder(0, "経理", false, false, 1, "経理部の共有フォルダ");
    int64_t k2024 = folder(keiri, "2024");
    int64_t k2023 = folder(keiri, "2023");
    int64_t months[3] = {folder(k2024, "01月"), folder(k2024, "02月"), folder(k2024, "03月")};
    int64_t kyuyo = folder(0, "給与", false, false, 3);
    int64_t kyuyo2024 = folder(kyuyo, "2024年度");
    int64_t kessan = folder(0, "決算書類", false, true, 5, "閲覧専用");
    int64_t denshi = folder(0, "電子帳簿", true, false, 201, "電子帳簿保存法対応");
    int64_t seikyu = folder(denshi, "請求書", true);
    int64_t ryoshu = folder(denshi, "領収書", true);
    int64_t kyoyu = folder(0, "共有");
    int64_t tmpl = folder(kyoyu, "テンプレート");

    // 経理/2024: the folder with the most files.
    int64_t locked
        = file(k2024, "売上集計_2024.xlsx",
               makeXlsx("売上集計 2024年", {{"1月", 1250000}, {"2月", 1380000}, {"3月", 1520000}}),
               yamada, "四半期ごとに更新");
    file(k2024, "経費精算_2024.xlsx", makeXlsx("経費精算", {{"交通費", 45200}, {"会議費", 18000}}),
         suzuki);
    file(k2024, "予算計画.xlsx", makeXlsx("予算計画", {{"売上", 18000000}, {"経費", 12000000}}),
         yamada);
    file(k2024, "仕訳帳.csv",
         "\xEF\xBB\xBF日付,勘定科目,借方,貸方,摘要\r\n2024/01/05,現金,50000,,売上\r\n"
         "2024/01/06,消耗品費,3200,,文具\r\n",
         yamada);
    file(k2024, "総勘定元帳.csv",
         "\xEF\xBB\xBF勘定科目,期首残高,借方合計,貸方合計,期末残高\r\n現金,120000,"
         "850000,790000,180000\r\n",
         yamada);
    file(k2024, "月次報告_1月.docx", makeDocx("月次報告 1月", "売上は前年同月比 108% でした。"),
         yamada, "確認済み");
    file(k2024, "月次報告_2月.docx", makeDocx("月次報告 2月", "売上は前年同月比 104% でした。"),
         yamada);
    file(k2024, "月次報告_3月.docx", makeDocx("月次報告 3月", "売上は前年同月比 111% でした。"),
         suzuki);
    file(k2024, "試算表_2024Q1.pdf", makePdf("Trial balance 2024 Q1"), yamada);
    file(k2024, "議事録_経理会議.txt",
         "経理会議 議事録\r\n日時: 2024/03/15 10:00\r\n出席: 山田, 鈴木\r\n", suzuki);
    file(k2024, "領収書スキャン.jpg", jpg, suzuki);
    file(k2024, "readme.txt", "Files of the 2024 fiscal year.\r\n", yamada);
    file(k2024, "銀行明細_2024.csv",
         "\xEF\xBB\xBF日付,入金,出金,残高\r\n2024/01/31,500000,320000,1180000\r\n", yamada);
    for (int m = 0; m < 3; ++m) {
        std::string mm = std::to_string(m + 1);
        file(months[m], "請求一覧_" + mm + "月.xlsx",
             makeXlsx("請求一覧 " + mm + "月", {{"A社", 110000 * (m + 1)}}), yamada);
        file(months[m], "入金確認_" + mm + "月.csv",
             "\xEF\xBB\xBF取引先,金額\r\nA社," + std::to_string(110000 * (m + 1)) + "\r\n", suzuki);
        file(months[m], "メモ_" + mm + "月.txt", mm + "月の締め作業メモ\r\n", yamada);
    }
    file(k2023, "売上集計_2023.xlsx", makeXlsx("売上集計 2023年", {{"合計", 15200000}}), yamada);
    file(k2023, "決算報告_2023.pdf", makePdf("Financial report 2023"), yamada);
    file(k2023, "仕訳帳_2023.csv", "\xEF\xBB\xBF日付,勘定科目,金額\r\n2023/12/28,売上,80000\r\n",
         yamada);
    file(kyuyo2024, "給与明細_4月.pdf", makePdf("Payslip April 2024"), yamada);
    file(kyuyo2024, "給与明細_5月.pdf", makePdf("Payslip May 2024"), yamada);
    file(kyuyo2024, "給与台帳.xlsx",
         makeXlsx("給与台帳", {{"山田 太郎", 350000}, {"鈴木 花子", 280000}}), yamada);
    file(kyuyo2024, "社会保険料.csv", "\xEF\xBB\xBF氏名,健康保険,厚生年金\r\n山田,17000,31000\r\n",
         yamada);
    file(kyuyo, "賞与計算.xlsx", makeXlsx("賞与計算", {{"夏季", 500000}}), yamada);
    file(kessan, "決算書_2023.pdf", makePdf("Closing statements 2023"), yamada, "税理士確認済み");
    file(kessan, "貸借対照表_2023.xlsx", makeXlsx("貸借対照表", {{"資産合計", 52000000}}), yamada);
    file(kessan, "損益計算書_2023.xlsx", makeXlsx("損益計算書", {{"当期純利益", 3200000}}), yamada);
    file(kessan, "勘定科目内訳書.docx", makeDocx("勘定科目内訳書", "内訳は別紙のとおり。"), yamada);
    file(kessan, "法人税申告書.pdf", makePdf("Corporate tax return"), yamada);
    file(tmpl, "請求書テンプレート.xlsx", makeXlsx("請求書", {{"小計", 0}}), yamada);
    file(tmpl, "見積書テンプレート.docx", makeDocx("見積書", "下記のとおりお見積り申し上げます。"),
         yamada);
    file(tmpl, "送付状.docx",
         makeDocx("送付状", "拝啓 時下ますますご清栄のこととお喜び申し上げます。"), yamada);
    file(kyoyu, "社内連絡.txt", "年末年始の営業日のお知らせ\r\n12/29〜1/3 は休業します。\r\n",
         yamada);
    file(kyoyu, "事務所地図.jpg", jpg, yamada);
    file(kyoyu, "名刺.jpg", jpg, suzuki);
    file(kyoyu, "連絡先一覧.csv",
         "\xEF\xBB\xBF名前,電話\r\n山田,03-0000-0001\r\n鈴木,03-0000-0002\r\n", yamada);

    // DataBox files with transaction information.
    struct Voucher
    {
        int64_t folder;
        const char *name, *date, *partner;
        int64_t amount;
    };
    const Voucher vouchers[] = {
        {seikyu, "請求書_A商事_202401.pdf", "2024/01/31", "A商事株式会社", 110000},
        {seikyu, "請求書_B工業_202402.pdf", "2024/02/29", "B工業株式会社", 275000},
        {seikyu, "請求書_C物産_202403.pdf", "2024/03/31", "C物産株式会社", 33000},
        {seikyu, "請求書_A商事_202404.pdf", "2024/04/30", "A商事株式会社", 121000},
        {seikyu, "請求書_D企画_202405.pdf", "2024/05/31", "D企画", 55000},
        {seikyu, "請求書_未登録.pdf", "", "", -1},
        {ryoshu, "領収書_文具店_0105.jpg", "2024/01/05", "さくら文具店", 3200},
        {ryoshu, "領収書_タクシー_0212.jpg", "2024/02/12", "東京タクシー", 2860},
        {ryoshu, "領収書_書店_0308.pdf", "2024/03/08", "丸の内書店", 4400},
        {ryoshu, "領収書_会議室_0415.pdf", "2024/04/15", "貸会議室ビル", 16500},
        {ryoshu, "領収書_金額なし.jpg", "2024/04/20", "喫茶店", -1},
        {denshi, "電子帳簿_説明.txt", "", "", -1},
    };
    int64_t voucherId = 0;
    for (const Voucher &v : vouchers) {
        std::string name = v.name;
        std::string content = extOf(name) == "jpg"   ? jpg
                              : extOf(name) == "pdf" ? makePdf(std::string("Invoice ") + v.date)
                                                     : std::string("電子帳簿保存の説明\r\n");
        int64_t id = file(v.folder, name, content, yamada);
        if (v.date[0] || v.partner[0] || v.amount >= 0) {
            auto st = db_->q(
                "UPDATE files SET tx_date=?, tx_name=?, tx_amount=?, voucher_id=? WHERE id=?",
                std::string(v.date), std::string(v.partner), v.amount, ++voucherId, id);
            if (v.amount < 0)
                st.bindNull(3);
            st.run();
        }
    }
    // The lock of the other user.
    db_->q("UPDATE files SET lock_key=?, lock_id=?, lock_disp_name=? WHERE id=?", suzuki.clientKey,
           suzuki.id, suzuki.dispName, locked)
        .run();
    // Favourites of yamada.
    int64_t seq = 0;
    for (auto [fid, path] :
         std::vector<std::pair<int64_t, std::string>>{{k2024, ""},
                                                      {k2024, "/予算計画.xlsx"},
                                                      {tmpl, "/請求書テンプレート.xlsx"},
                                                      {seikyu, ""}})
        db_->q("INSERT INTO favorites(user_id, folder_id, path, created) VALUES(?,?,?,?)",
               yamada.id, fid, path, ++seq)
            .run();
    db_->q("INSERT INTO favorites(user_id, folder_id, path, created) VALUES(?,?,?,?)", suzuki.id,
           k2024, std::string("/経費精算_2024.xlsx"), ++seq)
        .run();
    // Notices: one read, one unread important one.
    db_->q("INSERT INTO notices(office_id, title, body, popup, created) VALUES(?,?,?,0,?)", office,
           "サービス開始のお知らせ", "VELQUOR をご利用いただきありがとうございます。",
           "2024/01/04 09:00:00")
        .run();
    int64_t first = db_->lastId();
    db_->q("INSERT INTO notices(office_id, title, body, popup, created) VALUES(?,?,?,1,?)", office,
           "【重要】メンテナンスのお知らせ", "4月20日 2:00〜5:00 にメンテナンスを行います。",
           "2024/04/10 09:00:00")
        .run();
    for (int64_t u : {yamada.id, suzuki.id})
        db_->q("INSERT INTO notice_reads(user_id, notice_id) VALUES(?,?)", u, first).run();
    db_->q("UPDATE offices SET counter=100 WHERE id=?", office).run();
}

void Service::seedScale(int64_t office, int folders, int files)
{
    std::vector<std::string> blobs;
    for (int i = 0; i < 4; ++i)
        blobs.push_back(storeBlob("scale content " + std::to_string(i) + "\r\n"
                                  + std::string(size_t(100 * (i + 1)), 'x')));
    std::vector<int64_t> sizes;
    for (int i = 0; i < 4; ++i)
        sizes.push_back(int64_t(("scale content " + std::to_string(i) + "\r\n").size()
                                + size_t(100 * (i + 1))));
    // Three levels: tops with 10 children, each with 10 grandchildren (111 folders per top).
    std::vector<int64_t> ids;
    ids.reserve(size_t(folders));
    int made = 0, top = 0;
    char name[64];
    auto insert = [&](int64_t parent, const std::string &n) {
        db_->q("INSERT INTO folders(office_id, parent_id, name, update_name, update_time) "
               "VALUES(?,?,?,?,?)",
               office, parent, n, std::string("山田 太郎"), std::string("2024/04/01 09:00:00"))
            .run();
        ids.push_back(db_->lastId());
        ++made;
        return ids.back();
    };
    while (made < folders) {
        std::snprintf(name, sizeof name, "フォルダ%05d", ++top);
        int64_t t = insert(0, name);
        for (int a = 0; a < 10 && made < folders; ++a) {
            std::snprintf(name, sizeof name, "サブ%02d", a + 1);
            int64_t s = insert(t, name);
            for (int b = 0; b < 10 && made < folders; ++b) {
                std::snprintf(name, sizeof name, "明細%02d", b + 1);
                insert(s, name);
            }
        }
    }
    if (ids.empty())
        return;
    // The first folder holds a full page set (up to 1000 files); the rest are spread out.
    int first = std::min(files, 1000);
    for (int i = 0; i < files; ++i) {
        int64_t folder
            = i < first
                  ? ids[0]
                  : ids[size_t(1 + (i - first) % std::max<size_t>(1, ids.size() - 1)) % ids.size()];
        const char *exts[] = {"xlsx", "docx", "pdf", "csv", "txt", "jpg"};
        std::snprintf(name, sizeof name, "資料_%06d.%s", i + 1, exts[i % 6]);
        size_t b = size_t(i % 4);
        char when[32];
        std::snprintf(when, sizeof when, "2024/%02d/%02d %02d:%02d:%02d", 1 + i % 12, 1 + i % 28,
                      i % 24, i % 60, (i / 60) % 60);
        db_->q("INSERT INTO files(office_id, folder_id, name, ext, size, digest, update_id, "
               "update_name, "
               "update_disp_name, update_time) VALUES(?,?,?,?,?,?,1,?,?,?)",
               office, folder, std::string(name), std::string(exts[i % 6]), sizes[b], blobs[b],
               std::string("山田 太郎"), std::string("山田 太郎"), std::string(when))
            .run();
    }
}

void Service::seedPage(int64_t office, int subfolders, int files)
{
    // One folder as large as a file list page gets: its subfolders fill the first entries of
    // the listing, its files the rest. Contents share a few blobs, as in the scale seed.
    std::vector<std::string> blobs;
    std::vector<int64_t> sizes;
    for (int i = 0; i < 4; ++i) {
        std::string content = "page content " + std::to_string(i) + "\r\n"
                              + std::string(size_t(1024 * (i + 1)), 'x');
        sizes.push_back(int64_t(content.size()));
        blobs.push_back(storeBlob(content));
    }
    auto st = db_->q("SELECT id FROM users WHERE office_id=? AND login_id='yamada'", office);
    st.step();
    const int64_t yamada = st.i(0);
    const std::string by = "山田 太郎";
    db_->q("INSERT INTO folders(office_id, parent_id, name, update_name, update_time) "
           "VALUES(?,0,?,?,?)",
           office, std::string("ページ"), by, std::string("2024/04/01 09:00:00"))
        .run();
    const int64_t top = db_->lastId();
    char name[64];
    for (int i = 1; i <= subfolders; ++i) {
        std::snprintf(name, sizeof name, "f%05d", i);
        db_->q("INSERT INTO folders(office_id, parent_id, name, update_name, update_time) "
               "VALUES(?,?,?,?,?)",
               office, top, std::string(name), by, std::string("2024/04/01 09:00:00"))
            .run();
    }
    for (int i = 1; i <= files; ++i) {
        std::snprintf(name, sizeof name, "d%05d.txt", i);
        const size_t b = size_t(i % 4);
        char when[32];
        std::snprintf(when, sizeof when, "2024/%02d/%02d %02d:%02d:%02d", 1 + i % 12, 1 + i % 28,
                      i % 24, i % 60, (i / 60) % 60);
        db_->q("INSERT INTO files(office_id, folder_id, name, ext, size, digest, update_id, "
               "update_name, update_disp_name, update_time) VALUES(?,?,?,?,?,?,?,?,?,?)",
               office, top, std::string(name), std::string("txt"), sizes[b], blobs[b], yamada, by,
               by, std::string(when))
            .run();
    }
}

void Service::seedBulk(int64_t office, int files)
{
    // An office for a whole bulk download: one top folder with ten subfolders, file i in
    // subfolder ((i - 1) % 10) + 1, every file its own content (xorshift bytes seeded by i),
    // 1 KiB to 1 MiB (every 100th exactly 1 MiB), update times one minute apart from
    // 2024/01/01 00:00:00 so that the update-time order is the number order.
    auto st = db_->q("SELECT id FROM users WHERE office_id=? AND login_id='yamada'", office);
    st.step();
    const int64_t yamada = st.i(0);
    const std::string by = "山田 太郎";
    const std::string folderTime = "2024/01/01 00:00:00";
    db_->q("INSERT INTO folders(office_id, parent_id, name, update_name, update_time) "
           "VALUES(?,0,?,?,?)",
           office, std::string("一括"), by, folderTime)
        .run();
    const int64_t top = db_->lastId();
    char name[64];
    std::vector<int64_t> subfolders;
    for (int b = 1; b <= 10; ++b) {
        std::snprintf(name, sizeof name, "b%02d", b);
        db_->q("INSERT INTO folders(office_id, parent_id, name, update_name, update_time) "
               "VALUES(?,?,?,?,?)",
               office, top, std::string(name), by, folderTime)
            .run();
        subfolders.push_back(db_->lastId());
    }
    const time_t base = 1704067200; // 2024/01/01 00:00:00 UTC, written as a plain local text
    std::string content;
    for (int i = 1; i <= files; ++i) {
        const size_t size = i % 100 == 0 ? size_t(1024 * 1024)
                                         : size_t(1024 + (int64_t(i) * 104729) % (195 * 1024));
        content.resize(size);
        uint64_t x = uint64_t(i) * 0x9E3779B97F4A7C15ull + 1;
        for (size_t at = 0; at < size; at += 8) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            std::memcpy(&content[at], &x, std::min<size_t>(8, size - at));
        }
        const std::string digest = storeBlob(content);
        const time_t updated = base + time_t(i) * 60;
        std::tm t{};
        gmtime_r(&updated, &t);
        char when[32];
        std::strftime(when, sizeof when, "%Y/%m/%d %H:%M:%S", &t);
        std::snprintf(name, sizeof name, "f%05d.dat", i);
        db_->q("INSERT INTO files(office_id, folder_id, name, ext, size, digest, update_id, "
               "update_name, update_disp_name, update_time) VALUES(?,?,?,?,?,?,?,?,?,?)",
               office, subfolders[size_t((i - 1) % 10)], std::string(name), std::string("dat"),
               int64_t(size), digest, yamada, by, by, std::string(when))
            .run();
    }
}

} // namespace devserver
