#pragma once

#include "store/Record.h"
#include "store/TypedLists.h"

#include <QString>

class CBizArchiveReader;
class CBizArchiveWriter;

// One file type the service allows: an extension, the product that uses it and whether
// files of this type may only be viewed. appPath and appName come from the desktop and are
// never stored.
class CFileTypeRecord : public CRecord
{
public:
    enum { ViewOnlyAccess = 1 };

    bool IsEmpty() const override { return ext.isEmpty(); }
    void Clear() override { *this = CFileTypeRecord(); }
    // The archive form of fileTypes.vqr: id, name, ext, accessType.
    void Serialize(CBizArchiveWriter &writer) const override;
    void Deserialize(CBizArchiveReader &reader) override;

    bool IsViewOnly() const { return accessType == ViewOnlyAccess; }

    // The stored form of an extension as the service sends it: "." + lower case.
    static QString NormalizeExtension(const QString &serviceExt);

    qint32 id = 0;
    QString name;
    QString ext;
    qint32 accessType = 0;
    QString appPath;
    QString appName;
    // The desktop entry of that application (its id identifies it) and its file; in memory
    // only, like appPath.
    QString desktopId;
    QString desktopFile;
};

// Indexed by id and by ext (the stored lower-case form).
class CFileTypeList : public CBizTypedPtrMap2List<CFileTypeRecord, qint32, QString>
{
public:
    explicit CFileTypeList(bool ownsElements = true)
        : CBizTypedPtrMap2List(ownsElements)
    {}

    // Appends under the record's id and ext; entries with the same id or ext are replaced
    // (removed first).
    CFileTypeRecord *Replace(std::unique_ptr<CFileTypeRecord> record);

    CFileTypeRecord *FindById(qint32 id) const { return Lookup1(id); }
    // Any letter case, with or without the dot.
    CFileTypeRecord *FindByExtension(const QString &extension) const;

    // The record count, then each record.
    void Serialize(CBizArchiveWriter &writer) const;
    // Reads into this (emptied first) list; raises CBizArchiveException for a damaged
    // archive, leaving the list empty.
    void Deserialize(CBizArchiveReader &reader);
};

using CFileTypeRefList = CBizTypedPtrRefList<CFileTypeRecord>;
