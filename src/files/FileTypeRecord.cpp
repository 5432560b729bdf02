#include "FileTypeRecord.h"

#include "store/Archive.h"

#include "core/BizException.h"

QString CFileTypeRecord::NormalizeExtension(const QString &serviceExt)
{
    return (u'.' + serviceExt).toLower();
}

void CFileTypeRecord::Serialize(CBizArchiveWriter &writer) const
{
    writer.WriteInt32(id);
    writer.WriteText(name);
    writer.WriteText(ext);
    writer.WriteInt32(accessType);
}

void CFileTypeRecord::Deserialize(CBizArchiveReader &reader)
{
    id = reader.ReadInt32();
    name = reader.ReadText();
    ext = reader.ReadText();
    accessType = reader.ReadInt32();
}

CFileTypeRecord *CFileTypeList::Replace(std::unique_ptr<CFileTypeRecord> record)
{
    RemoveKey1(record->id);
    RemoveKey2(record->ext);
    const qint32 id = record->id;
    const QString ext = record->ext;
    return Add(id, ext, std::move(record));
}

CFileTypeRecord *CFileTypeList::FindByExtension(const QString &extension) const
{
    if (extension.isEmpty())
        return nullptr;
    const QString key
        = extension.startsWith(u'.') ? extension.toLower() : (u'.' + extension).toLower();
    return Lookup2(key);
}

void CFileTypeList::Serialize(CBizArchiveWriter &writer) const
{
    writer.WriteCount(quint32(GetCount()));
    for (const CFileTypeRecord *record : *this)
        record->Serialize(writer);
}

void CFileTypeList::Deserialize(CBizArchiveReader &reader)
{
    RemoveAll();
    try {
        // Each record is at least two int32 and two empty texts.
        const quint32 count = reader.ReadCount(16);
        for (quint32 i = 0; i < count; ++i) {
            auto record = std::make_unique<CFileTypeRecord>();
            record->Deserialize(reader);
            // A cache written by another client version may not be normalised.
            record->ext = record->ext.toLower();
            Replace(std::move(record));
        }
    } catch (const CBizArchiveException &) {
        RemoveAll();
        throw;
    }
}
