#pragma once

#include "store/Record.h"

#include <QString>

class CBizXmlElement;

// The signed-in user's profile, rights and limits as the login answer gave them. Never
// written to disk. Until a login fills it, every field holds the built-in default below, so
// limits are sane even for an offline sign-in.
class CUserRecord : public CRecord
{
public:
    CUserRecord() = default;

    // Back to the defaults of a user that has not logged in.
    void Clear() override;

    // The address opened by the remote-support command when the service names none.
    static QString DefaultRemoteSupportUrl();

    // Fields in the order the profile declares them; names are those of the answer elements.
    qint32 id = 0;
    QString name;
    QString furigana;
    QString dispName;
    qint32 type = 0;
    bool privWeb = false;
    bool deleteCache = false;
    bool privBulkDownload = false;
    qint32 maxFileSize = 314572800; // 300 MiB
    qint32 generationNum = 0;
    qint32 maxFavoriteCount = 500;
    qint32 maxFileCommentLength = 5000;
    qint32 maxFolderCommentLength = 500;
    qint32 maxFileNameLength = 50;
    qint32 maxFileNum = 1000;
    qint32 maxFileCreate = 100;
    qint32 maxFileMove = 1000;
    qint32 maxFileCopy = 500;
    qint32 maxFolderDepth = 3;
    qint32 maxRootFolderLength = 40;
    qint32 maxSubFolderLength = 20;
    bool privFileCreate = false;
    bool privFileOverwrite = false;
    bool privBulkUpload = false;
    bool privFileMove = false;
    bool privFileDelete = false;
    bool privFileDownload = false;
    bool privFolderCreate = false;
    bool privFolderMove = false;
    bool privFolderDelete = false;
    bool privReadonlyCreate = false;
    bool privFileRename = false;
    qint32 bulkDownloadDisableH1From = 9;
    qint32 bulkDownloadDisableH1To = 11;
    qint32 bulkDownloadDisableH2From = 0;
    qint32 bulkDownloadDisableH2To = 0;
    QString remoteSupportURL = DefaultRemoteSupportUrl();
    QString manualUrl;
    QString shop;
    QString twitter;
    QString youtube;
    bool showUpdateTime = false;
    bool privEmptyFileUpload = false;
    bool privBulkUploadDataBox = false;
    bool privDataBox = false;
    bool privEditDataBox = false;
    bool privFileCommentEditDataBox = false;
    bool privFileCreateDataBox = false;
    bool privFileDeleteDataBox = false;
    bool privFileDownloadDataBox = false;
    bool privFileMoveDataBox = false;
    bool privFileOverwriteDataBox = false;
    bool privFileRenameDataBox = false;
    bool privFolderCreateDataBox = false;
    bool privFolderDeleteDataBox = false;
    bool privFolderMoveDataBox = false;
    bool privReadonlyCreateDataBox = false;
    QString customerName;
    QString customerFurigana;
    QString customerDispName;
    QString customerLoginDispName;
    QString pcName;
};

// Reads a "loginResponse" element. The access key comes first and is stored as soon as it is
// read; without a user record nothing else is read. With one, every profile element is read
// into the field of the same name in the service's order, so a missing element leaves the
// earlier ones stored. All elements are required except "customerLoginDispName" and
// "pcName"; "twitter" and "youtube" are children of the required "relatedSiteUrl", "shop"
// is not. Answers false when a required element is missing (the request turns that into
// fault "00002").
bool ParseLoginResponse(const CBizXmlElement &response, QString &accessKey, CUserRecord *user);

// Forbidden bulk-download periods. A period [from, to) is given in whole hours of the local
// day; one whose to-hour is below its from-hour runs past midnight. A period with equal
// hours, or with an hour outside 0..24, forbids nothing.
bool IsHourInForbiddenPeriod(int hour, int from, int to);
// "%02d:00 ー %02d:00", or the empty text for a period that forbids nothing.
QString ForbiddenPeriodText(int from, int to);
// True when hour (0..23) lies outside both forbidden periods of user.
bool IsBulkDownloadAllowedAt(const CUserRecord &user, int hour);

// The last known update counter advanced by this client's own changes. The counter is
// 32-bit unsigned and never 0: past 4294967295 it continues from 1.
quint32 AdvanceUpdateCounter(quint32 lastKnown, quint32 ownChanges);
