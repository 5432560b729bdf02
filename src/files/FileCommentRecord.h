#pragma once

#include "FileKey.h"
#include "store/DateTimeValue.h"
#include "store/Record.h"
#include "store/TypedLists.h"

#include <QString>

// The comment of one file: the service's copy, or a pending local edit.
class CFileCommentRecord : public CRecord
{
public:
    bool IsEmpty() const override { return path.isEmpty(); }
    void Clear() override { *this = CFileCommentRecord(); }
    QString Key() const { return FileKey(workspaceId, path); }

    qint32 workspaceId = 0;
    QString path;
    QString text;
    qint32 updateId = 0;
    QString updateName;
    QString updateDispName;
    CDateTimeValue updateTime;
};

// Keyed by FileKey.
using CFileCommentList = CBizTypedPtrMapList<QString, CFileCommentRecord>;
