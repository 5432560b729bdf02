#pragma once

#include "FileTypeRecord.h"

#include "account/HasLoginManager.h"

#include <QString>

#include <memory>

// The file types of the signed-in customer. Two lists: the raw list as the service sent it
// (or as fileTypes.vqr kept it), used for every lookup, and the usable list of the types
// this computer knows (a MIME type of their own or a default application), each with the
// application the desktop opens it with.
class CFileTypeManager : public CHasLoginManager
{
public:
    explicit CFileTypeManager(CLoginManager *loginManager);
    ~CFileTypeManager() override;

    // Fills the raw list (from the service or from the cache) and rebuilds the usable list.
    virtual bool Load() = 0;

    CFileTypeRecord *FindByExtension(const QString &extension) const;
    CFileTypeRecord *FindById(qint32 id) const;

    const CFileTypeList &rawList() const { return *m_raw; }
    const CFileTypeList &usableList() const { return *m_usable; }

    // fileTypes.vqr of the signed-in login (the login's data folder); empty without a
    // sign-in. A path set with SetCachePath wins.
    virtual QString CachePath() const;
    void SetCachePath(const QString &path) { m_cachePath = path; }

    // Writes the raw list to fileTypes.vqr atomically. Raises CBizFileException when it
    // cannot be written (the old file stays).
    void SaveCache() const;
    // Reads fileTypes.vqr into the raw list. A missing file leaves the list empty (false);
    // a damaged one shows 17956, is deleted and leaves the list empty (false).
    bool LoadCache();

protected:
    // Replaces the raw list and rebuilds the usable list from it.
    void SetRawList(std::unique_ptr<CFileTypeList> raw);
    void RebuildUsableList();

private:
    std::unique_ptr<CFileTypeList> m_raw;
    std::unique_ptr<CFileTypeList> m_usable;
    QString m_cachePath;
};

// Offline: the types kept in fileTypes.vqr.
class CLocalFileTypeManager : public CFileTypeManager
{
public:
    using CFileTypeManager::CFileTypeManager;
    bool Load() override { return LoadCache(); }
};

// Online: the types the service publishes now.
class CSharedFileTypeManager : public CFileTypeManager
{
public:
    using CFileTypeManager::CFileTypeManager;

    // The file type list request into a new raw list. A failure leaves the raw list empty
    // (no type check passes until the next successful load); faults propagate.
    bool Load() override;
    // The file type count request (sizes a refresh's progress range); -1 when it answered
    // nothing.
    qint32 Count();

    // True once a load of this session succeeded.
    bool loadedThisSession() const { return m_loaded; }
    // The end of an online session: writes fileTypes.vqr only when the types were loaded
    // successfully in this session, so a failed reload never replaces a good cache with an
    // empty one. Answers whether it wrote.
    bool SaveIfLoaded() const;

private:
    bool m_loaded = false;
};
