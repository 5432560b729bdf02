#pragma once

class CBizArchiveReader;
class CBizArchiveWriter;

// Base of every record (folders, files, file types, comments, logins, bulk-log lines).
// Records live on the heap, are filled by their manager and are owned by exactly one owning
// list at a time; every other holder keeps plain pointers.
class CRecord
{
public:
    CRecord() = default;
    virtual ~CRecord() = default;
    CRecord(const CRecord &) = default;
    CRecord &operator=(const CRecord &) = default;

    // True when the record holds nothing worth keeping; the base holds nothing.
    virtual bool IsEmpty() const { return true; }
    // Resets every field; the base has none.
    virtual void Clear() {}

    // Archive form of the records that are stored (file types, comments, logins): the
    // record's Part fixes the field order. The base has no fields to store.
    virtual void Serialize(CBizArchiveWriter &) const {}
    virtual void Deserialize(CBizArchiveReader &) {}
};
