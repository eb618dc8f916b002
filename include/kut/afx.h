// The small part of the MFC run-time that the kut interfaces use, with MFC's
// names and meanings: a wide CString, CObject and CObList. No MFC exists on
// either target, so kut carries this itself; it is header-only so that hosts
// and kut agree on the layout without another library.
#ifndef KUT_AFX_H
#define KUT_AFX_H

#include <cstddef>
#include <cwchar>
#include <string>

class CString {
public:
    CString() = default;
    CString(const wchar_t* s) : m_s(s ? s : L"") {}  // NOLINT: implicit like MFC
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    ~CString() = default;
    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(const wchar_t* s) {
        m_s = s ? s : L"";
        return *this;
    }

    int GetLength() const { return static_cast<int>(m_s.size()); }
    bool IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }
    const wchar_t* GetString() const { return m_s.c_str(); }
    operator const wchar_t*() const { return m_s.c_str(); }  // NOLINT: MFC conversion

    CString& operator+=(const CString& o) {
        m_s += o.m_s;
        return *this;
    }
    CString& operator+=(const wchar_t* s) {
        if (s) m_s += s;
        return *this;
    }

    friend bool operator==(const CString& a, const CString& b) { return a.m_s == b.m_s; }
    friend bool operator!=(const CString& a, const CString& b) { return a.m_s != b.m_s; }
    friend bool operator==(const CString& a, const wchar_t* b) { return a.m_s == (b ? b : L""); }
    friend bool operator!=(const CString& a, const wchar_t* b) { return !(a == b); }
    friend bool operator==(const wchar_t* a, const CString& b) { return b == a; }
    friend bool operator!=(const wchar_t* a, const CString& b) { return !(b == a); }

private:
    std::wstring m_s;
};

struct CRuntimeClass;  // never defined: the run-time class query is a stub

class CArchive;  // Serialize takes one; kut never serializes
class CDumpContext;

class CObject {
public:
    virtual CRuntimeClass* GetRuntimeClass() const { return nullptr; }
    virtual ~CObject() = default;
    virtual void Serialize(CArchive&) {}
    virtual void AssertValid() const {}
    virtual void Dump(CDumpContext&) const {}

protected:
    CObject() = default;
};

struct __POSITION;
typedef __POSITION* POSITION;

// A list of CObject pointers. POSITION is an opaque iterator as in MFC; the
// list never owns the objects it points to.
class CObList : public CObject {
public:
    explicit CObList(std::ptrdiff_t /*nBlockSize*/ = 10) {}
    ~CObList() override { RemoveAll(); }
    CObList(const CObList&) = delete;
    CObList& operator=(const CObList&) = delete;

    POSITION AddHead(CObject* p) {
        Node* n = new Node{p, m_head};
        m_head = n;
        if (!m_tail) m_tail = n;
        ++m_count;
        return reinterpret_cast<POSITION>(n);
    }
    POSITION AddTail(CObject* p) {
        Node* n = new Node{p, nullptr};
        if (m_tail)
            m_tail->next = n;
        else
            m_head = n;
        m_tail = n;
        ++m_count;
        return reinterpret_cast<POSITION>(n);
    }
    POSITION GetHeadPosition() const { return reinterpret_cast<POSITION>(m_head); }
    CObject*& GetNext(POSITION& pos) {
        Node* n = reinterpret_cast<Node*>(pos);
        pos = reinterpret_cast<POSITION>(n->next);
        return n->obj;
    }
    std::ptrdiff_t GetCount() const { return m_count; }
    bool IsEmpty() const { return m_count == 0; }
    void RemoveAll() {
        while (m_head) {
            Node* n = m_head;
            m_head = n->next;
            delete n;
        }
        m_tail = nullptr;
        m_count = 0;
    }

private:
    struct Node {
        CObject* obj;
        Node* next;
    };
    Node* m_head = nullptr;
    Node* m_tail = nullptr;
    std::ptrdiff_t m_count = 0;
};

#endif
