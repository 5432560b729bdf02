#pragma once

#include <QString>

#include <functional>
#include <optional>

class CFileRecord;
class CSharedFileRecord;
class CFileTypeList;
class CUserRecord;
class CWorkspaceRecord;

// What the derivation of a file entry needs from the rest of the client. Every member is
// optional; a missing one leaves its fields at what the service sent.
struct SFilePrepareContext
{
    const CFileTypeList *fileTypes = nullptr;                  // the raw type list
    std::function<CWorkspaceRecord *(qint32)> findFolder;      // the folder tree
    QString clientKey;                                         // this client's lock key
    const CUserRecord *user = nullptr;                         // rights; none: folder only
    bool withHistory = false;                                  // look for history copies
    std::function<bool(const CSharedFileRecord &)> hasHistory; // a copy with this digest
    std::function<std::optional<quint32>(const CSharedFileRecord &)> editCopySize;
    std::function<void(CSharedFileRecord &)> localSide; // stored-copy path and pathLength
};

// fileTypeId, productName and viewOnlyType from the type of the record's extension.
void ApplyFileType(CFileRecord &record, const CFileTypeList *types);

// Whether the user may change files in folder (none: an unknown folder, writable unless
// the rights say otherwise). DataBox folders need privDataBox, and for a read-only one
// privReadonlyCreateDataBox; other read-only folders need privReadonlyCreate.
bool MayEditIn(const CWorkspaceRecord *folder, const CUserRecord *user);

// The client-side fields of an entry fetched from the service: names, type, folder, local
// side, status text, own lock, read-only view, history, and the edit copy's size while this
// client holds the lock.
void PrepareSharedFileRecord(CSharedFileRecord &record, const SFilePrepareContext &context);
