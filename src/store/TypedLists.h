#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <algorithm>
#include <memory>
#include <vector>

// The typed list family that holds records.
//
// CBizTypedPtrList<T>: pointers in list order plus the ownership flag given at
// construction. An owning list deletes its elements (through their virtual destructor) when
// they are removed with Remove/RemoveAll or when the list is destroyed, from the head on;
// Take hands an element over to the caller instead. A list that does not own its elements
// never deletes one.
//
// CBizTypedPtrMapList<TKey, T>: the same plus one hash index key -> element (TKey qint32
// for folder and type ids, QString for file keys and names, compared exactly). The list
// order is the order shown and stored; the index is only for lookup. Adding under a key
// that is indexed already points the index at the new element; the old one stays in the
// list (and is still owned).
//
// CBizTypedPtrMap2List<T>: two indexes, one by integer and one by text.
//
// CBizTypedPtrRefList<T>: a reference list, never owning, no index.
//
// Removal is linear in the list length (lists hold a page of files or a folder tree, a few
// thousand entries at most); lookups by key are constant time.
template<typename T>
class CBizTypedPtrList
{
public:
    using value_type = T *;
    using iterator = typename QList<T *>::iterator;
    using const_iterator = typename QList<T *>::const_iterator;

    explicit CBizTypedPtrList(bool ownsElements)
        : m_ownsElements(ownsElements)
    {}
    virtual ~CBizTypedPtrList() { DeleteElements(); }
    CBizTypedPtrList(const CBizTypedPtrList &) = delete;
    CBizTypedPtrList &operator=(const CBizTypedPtrList &) = delete;

    bool ownsElements() const { return m_ownsElements; }

    qsizetype GetCount() const { return m_items.size(); }
    qsizetype size() const { return m_items.size(); }
    bool IsEmpty() const { return m_items.isEmpty(); }
    T *GetHead() const { return m_items.isEmpty() ? nullptr : m_items.first(); }
    T *GetTail() const { return m_items.isEmpty() ? nullptr : m_items.last(); }
    T *At(qsizetype index) const
    {
        return index >= 0 && index < m_items.size() ? m_items.at(index) : nullptr;
    }
    qsizetype IndexOf(const T *element) const { return m_items.indexOf(const_cast<T *>(element)); }
    bool Contains(const T *element) const { return IndexOf(element) >= 0; }

    // Adding to an owning list hands the element over to it.
    T *AddTail(T *element)
    {
        m_items.append(element);
        return element;
    }
    T *AddHead(T *element)
    {
        m_items.prepend(element);
        return element;
    }
    T *InsertAt(qsizetype index, T *element)
    {
        m_items.insert(std::clamp<qsizetype>(index, 0, m_items.size()), element);
        return element;
    }
    // Owning lists only (a reference list cannot take ownership).
    T *AddTail(std::unique_ptr<T> element)
    {
        Q_ASSERT(m_ownsElements);
        return AddTail(element.release());
    }

    // Removes the element; an owning list deletes it. False when it is not in the list.
    bool Remove(T *element)
    {
        const qsizetype i = IndexOf(element);
        if (i < 0)
            return false;
        m_items.removeAt(i);
        Forget(element);
        if (m_ownsElements)
            delete element;
        return true;
    }
    // Removes the element without deleting it. From an owning list the caller receives it;
    // from a reference list the answer is empty (the element belongs elsewhere).
    std::unique_ptr<T> Take(T *element)
    {
        const qsizetype i = IndexOf(element);
        if (i < 0)
            return {};
        m_items.removeAt(i);
        Forget(element);
        return m_ownsElements ? std::unique_ptr<T>(element) : nullptr;
    }
    std::unique_ptr<T> TakeHead() { return IsEmpty() ? nullptr : Take(GetHead()); }
    std::unique_ptr<T> TakeTail() { return IsEmpty() ? nullptr : Take(GetTail()); }

    // Empties the list (and its indexes); an owning list deletes the elements.
    void RemoveAll()
    {
        ClearIndexes();
        DeleteElements();
    }
    // Empties the list handing every element to the caller (owning lists; a reference list
    // gives nothing and is just emptied).
    std::vector<std::unique_ptr<T>> TakeAll()
    {
        ClearIndexes();
        std::vector<std::unique_ptr<T>> taken;
        if (m_ownsElements) {
            taken.reserve(m_items.size());
            for (T *p : std::as_const(m_items))
                taken.emplace_back(p);
        }
        m_items.clear();
        return taken;
    }

    // Stable sort of the list order; indexes are unaffected.
    template<typename Less>
    void Sort(Less less)
    {
        std::stable_sort(m_items.begin(), m_items.end(), less);
    }

    iterator begin() { return m_items.begin(); }
    iterator end() { return m_items.end(); }
    const_iterator begin() const { return m_items.cbegin(); }
    const_iterator end() const { return m_items.cend(); }
    const QList<T *> &items() const { return m_items; }

protected:
    // Indexes of derived lists drop the element / every entry.
    virtual void Forget(T *) {}
    virtual void ClearIndexes() {}

private:
    void DeleteElements()
    {
        // From the head on, as the records were added; the list is empty before any
        // destructor runs, so a record's destructor never sees itself still listed.
        QList<T *> items;
        items.swap(m_items);
        if (m_ownsElements) {
            for (T *p : std::as_const(items))
                delete p;
        }
    }

    QList<T *> m_items;
    bool m_ownsElements;
};

// A list of plain references: never owning, no index.
template<typename T>
class CBizTypedPtrRefList : public CBizTypedPtrList<T>
{
public:
    CBizTypedPtrRefList()
        : CBizTypedPtrList<T>(false)
    {}
};

// A typed, non-owning map from a 32-bit integer to an element.
template<typename T>
class CBizMapLongToPtr
{
public:
    T *Lookup(qint32 key) const { return m_map.value(key, nullptr); }
    bool Contains(qint32 key) const { return m_map.contains(key); }
    void SetAt(qint32 key, T *element) { m_map.insert(key, element); }
    bool RemoveKey(qint32 key) { return m_map.remove(key) > 0; }
    void RemoveAll() { m_map.clear(); }
    qsizetype GetCount() const { return m_map.size(); }
    bool IsEmpty() const { return m_map.isEmpty(); }
    const QHash<qint32, T *> &map() const { return m_map; }

private:
    QHash<qint32, T *> m_map;
};

// A typed, non-owning map from a text (compared exactly) to an element.
template<typename T>
class CBizMapStringToPtr
{
public:
    T *Lookup(const QString &key) const { return m_map.value(key, nullptr); }
    bool Contains(const QString &key) const { return m_map.contains(key); }
    void SetAt(const QString &key, T *element) { m_map.insert(key, element); }
    bool RemoveKey(const QString &key) { return m_map.remove(key) > 0; }
    void RemoveAll() { m_map.clear(); }
    qsizetype GetCount() const { return m_map.size(); }
    bool IsEmpty() const { return m_map.isEmpty(); }
    const QHash<QString, T *> &map() const { return m_map; }

private:
    QHash<QString, T *> m_map;
};

namespace BizTypedLists {

// Drops every index entry that points at element.
template<typename Key, typename T>
void ForgetIn(QHash<Key, T *> &index, const T *element)
{
    for (auto it = index.begin(); it != index.end();) {
        if (it.value() == element)
            it = index.erase(it);
        else
            ++it;
    }
}

} // namespace BizTypedLists

template<typename TKey, typename T>
class CBizTypedPtrMapList : public CBizTypedPtrList<T>
{
    using Base = CBizTypedPtrList<T>;

public:
    explicit CBizTypedPtrMapList(bool ownsElements)
        : Base(ownsElements)
    {}
    // The index goes first, then the list deletes what it owns.
    ~CBizTypedPtrMapList() override { m_index.clear(); }

    // Appends the element and indexes it under key.
    T *Add(const TKey &key, T *element)
    {
        Base::AddTail(element);
        m_index.insert(key, element);
        return element;
    }
    T *Add(const TKey &key, std::unique_ptr<T> element)
    {
        Q_ASSERT(Base::ownsElements());
        return Add(key, element.release());
    }
    // Indexes an element that is in the list already (for example under a changed key; the
    // old key is dropped when given).
    void SetKey(T *element, const TKey &key)
    {
        BizTypedLists::ForgetIn(m_index, element);
        m_index.insert(key, element);
    }

    T *Lookup(const TKey &key) const { return m_index.value(key, nullptr); }
    bool ContainsKey(const TKey &key) const { return m_index.contains(key); }
    // Removes the element indexed by key (deleting it in an owning list).
    bool RemoveKey(const TKey &key)
    {
        T *element = Lookup(key);
        return element && Base::Remove(element);
    }
    std::unique_ptr<T> TakeKey(const TKey &key)
    {
        T *element = Lookup(key);
        return element ? Base::Take(element) : nullptr;
    }
    const QHash<TKey, T *> &index() const { return m_index; }

protected:
    void Forget(T *element) override { BizTypedLists::ForgetIn(m_index, element); }
    void ClearIndexes() override { m_index.clear(); }

private:
    QHash<TKey, T *> m_index;
};

template<typename T, typename TKey1 = qint32, typename TKey2 = QString>
class CBizTypedPtrMap2List : public CBizTypedPtrList<T>
{
    using Base = CBizTypedPtrList<T>;

public:
    explicit CBizTypedPtrMap2List(bool ownsElements)
        : Base(ownsElements)
    {}
    ~CBizTypedPtrMap2List() override
    {
        m_index1.clear();
        m_index2.clear();
    }

    T *Add(const TKey1 &key1, const TKey2 &key2, T *element)
    {
        Base::AddTail(element);
        m_index1.insert(key1, element);
        m_index2.insert(key2, element);
        return element;
    }
    T *Add(const TKey1 &key1, const TKey2 &key2, std::unique_ptr<T> element)
    {
        Q_ASSERT(Base::ownsElements());
        return Add(key1, key2, element.release());
    }

    T *Lookup1(const TKey1 &key) const { return m_index1.value(key, nullptr); }
    T *Lookup2(const TKey2 &key) const { return m_index2.value(key, nullptr); }
    bool RemoveKey1(const TKey1 &key)
    {
        T *element = Lookup1(key);
        return element && Base::Remove(element);
    }
    bool RemoveKey2(const TKey2 &key)
    {
        T *element = Lookup2(key);
        return element && Base::Remove(element);
    }
    const QHash<TKey1, T *> &index1() const { return m_index1; }
    const QHash<TKey2, T *> &index2() const { return m_index2; }

protected:
    void Forget(T *element) override
    {
        BizTypedLists::ForgetIn(m_index1, element);
        BizTypedLists::ForgetIn(m_index2, element);
    }
    void ClearIndexes() override
    {
        m_index1.clear();
        m_index2.clear();
    }

private:
    QHash<TKey1, T *> m_index1;
    QHash<TKey2, T *> m_index2;
};
