#include "UserRecord.h"

#include "store/Convert.h"

#include "service/XmlDocument.h"

#include <variant>

void CUserRecord::Clear()
{
    *this = CUserRecord();
}

QString CUserRecord::DefaultRemoteSupportUrl()
{
    return QStringLiteral("https://www.velquor.jp/support/remote/");
}

namespace {

using FieldRef = std::variant<qint32 CUserRecord::*, bool CUserRecord::*, QString CUserRecord::*>;

struct SProfileField
{
    const char *element;
    FieldRef field;
    bool optional = false;
};

// The profile elements in the order the service writes them (and we read them), after
// "accessKey" and before the "relatedSiteUrl" group.
const SProfileField kLeadingFields[] = {
    {"bulkDownloadDisableH1From", &CUserRecord::bulkDownloadDisableH1From},
    {"bulkDownloadDisableH1To", &CUserRecord::bulkDownloadDisableH1To},
    {"bulkDownloadDisableH2From", &CUserRecord::bulkDownloadDisableH2From},
    {"bulkDownloadDisableH2To", &CUserRecord::bulkDownloadDisableH2To},
    {"customerDispName", &CUserRecord::customerDispName},
    {"customerFurigana", &CUserRecord::customerFurigana},
    {"customerLoginDispName", &CUserRecord::customerLoginDispName, true},
    {"customerName", &CUserRecord::customerName},
    {"deleteCache", &CUserRecord::deleteCache},
    {"dispName", &CUserRecord::dispName},
    {"furigana", &CUserRecord::furigana},
    {"generationNum", &CUserRecord::generationNum},
    {"id", &CUserRecord::id},
    {"manualUrl", &CUserRecord::manualUrl},
    {"maxFavoriteCount", &CUserRecord::maxFavoriteCount},
    {"maxFileCommentLength", &CUserRecord::maxFileCommentLength},
    {"maxFileCopy", &CUserRecord::maxFileCopy},
    {"maxFileCreate", &CUserRecord::maxFileCreate},
    {"maxFileMove", &CUserRecord::maxFileMove},
    {"maxFileNameLength", &CUserRecord::maxFileNameLength},
    {"maxFileNum", &CUserRecord::maxFileNum},
    {"maxFileSize", &CUserRecord::maxFileSize},
    {"maxFolderCommentLength", &CUserRecord::maxFolderCommentLength},
    {"maxFolderDepth", &CUserRecord::maxFolderDepth},
    {"maxRootFolderLength", &CUserRecord::maxRootFolderLength},
    {"maxSubFolderLength", &CUserRecord::maxSubFolderLength},
    {"name", &CUserRecord::name},
    {"pcName", &CUserRecord::pcName, true},
    {"privBulkDownload", &CUserRecord::privBulkDownload},
    {"privBulkUpload", &CUserRecord::privBulkUpload},
    {"privBulkUploadDataBox", &CUserRecord::privBulkUploadDataBox},
    {"privDataBox", &CUserRecord::privDataBox},
    {"privEmptyFileUpload", &CUserRecord::privEmptyFileUpload},
    {"privEditDataBox", &CUserRecord::privEditDataBox},
    {"privFileCommentEditDataBox", &CUserRecord::privFileCommentEditDataBox},
    {"privFileCreate", &CUserRecord::privFileCreate},
    {"privFileCreateDataBox", &CUserRecord::privFileCreateDataBox},
    {"privFileDelete", &CUserRecord::privFileDelete},
    {"privFileDeleteDataBox", &CUserRecord::privFileDeleteDataBox},
    {"privFileDownload", &CUserRecord::privFileDownload},
    {"privFileDownloadDataBox", &CUserRecord::privFileDownloadDataBox},
    {"privFileMove", &CUserRecord::privFileMove},
    {"privFileMoveDataBox", &CUserRecord::privFileMoveDataBox},
    {"privFileOverwrite", &CUserRecord::privFileOverwrite},
    {"privFileOverwriteDataBox", &CUserRecord::privFileOverwriteDataBox},
    {"privFileRename", &CUserRecord::privFileRename},
    {"privFileRenameDataBox", &CUserRecord::privFileRenameDataBox},
    {"privFolderCreate", &CUserRecord::privFolderCreate},
    {"privFolderCreateDataBox", &CUserRecord::privFolderCreateDataBox},
    {"privFolderDelete", &CUserRecord::privFolderDelete},
    {"privFolderDeleteDataBox", &CUserRecord::privFolderDeleteDataBox},
    {"privFolderMove", &CUserRecord::privFolderMove},
    {"privFolderMoveDataBox", &CUserRecord::privFolderMoveDataBox},
    {"privReadonlyCreate", &CUserRecord::privReadonlyCreate},
    {"privReadonlyCreateDataBox", &CUserRecord::privReadonlyCreateDataBox},
    {"privWeb", &CUserRecord::privWeb},
};

const SProfileField kTrailingFields[] = {
    {"remoteSupportURL", &CUserRecord::remoteSupportURL},
    {"showUpdateTime", &CUserRecord::showUpdateTime},
    {"type", &CUserRecord::type},
};

void Store(CUserRecord &user, const FieldRef &field, const QString &text)
{
    std::visit(
        [&](auto member) {
            using T = std::remove_reference_t<decltype(user.*member)>;
            if constexpr (std::is_same_v<T, QString>)
                user.*member = text;
            else if constexpr (std::is_same_v<T, bool>)
                user.*member = ParseInt(text) != 0;
            else
                user.*member = ParseInt(text);
        },
        field);
}

// Reads one element of parent into the field; false when a required element is missing.
bool ReadField(CBizXmlElement &parent, const SProfileField &f, CUserRecord &user)
{
    const CBizXmlElement e = parent.FindChild(QLatin1String(f.element));
    if (e.IsNull())
        return f.optional;
    Store(user, f.field, e.Text());
    return true;
}

} // namespace

bool ParseLoginResponse(const CBizXmlElement &answer, QString &accessKey, CUserRecord *user)
{
    CBizXmlElement response = answer; // remembers the child found last
    if (!response.ChildText(QStringLiteral("accessKey"), &accessKey))
        return false;
    if (!user)
        return true;

    for (const auto &f : kLeadingFields) {
        if (!ReadField(response, f, *user))
            return false;
    }
    CBizXmlElement related = response.FindChild(QStringLiteral("relatedSiteUrl"));
    if (related.IsNull())
        return false;
    if (!ReadField(response, {"shop", &CUserRecord::shop}, *user))
        return false;
    if (!ReadField(related, {"twitter", &CUserRecord::twitter}, *user))
        return false;
    if (!ReadField(related, {"youtube", &CUserRecord::youtube}, *user))
        return false;
    for (const auto &f : kTrailingFields) {
        if (!ReadField(response, f, *user))
            return false;
    }
    return true;
}

namespace {
bool IsValidPeriod(int from, int to)
{
    return from >= 0 && from <= 24 && to >= 0 && to <= 24 && from != to;
}
} // namespace

bool IsHourInForbiddenPeriod(int hour, int from, int to)
{
    if (!IsValidPeriod(from, to))
        return false;
    if (from < to)
        return hour >= from && hour < to;
    // Runs past midnight, e.g. 22-2 forbids 22:00-01:59.
    return hour >= from || hour < to;
}

QString ForbiddenPeriodText(int from, int to)
{
    if (!IsValidPeriod(from, to))
        return {};
    return QString::asprintf("%02d:00 ー %02d:00", from, to);
}

bool IsBulkDownloadAllowedAt(const CUserRecord &user, int hour)
{
    return !IsHourInForbiddenPeriod(hour, user.bulkDownloadDisableH1From,
                                    user.bulkDownloadDisableH1To)
           && !IsHourInForbiddenPeriod(hour, user.bulkDownloadDisableH2From,
                                       user.bulkDownloadDisableH2To);
}

quint32 AdvanceUpdateCounter(quint32 lastKnown, quint32 ownChanges)
{
    const quint64 sum = quint64(lastKnown) + ownChanges;
    constexpr quint64 top = 0xFFFFFFFFu;
    // Past the top the counter restarts at 1 (0 is never a counter value).
    return quint32(sum > top ? sum - top : sum);
}
