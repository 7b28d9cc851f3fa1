#pragma once

// The texts of the data tree's records. An image of a million entries holds
// a million names, so a text is one pointer to an immutable block of UTF-16
// characters that every copy shares: a file's display name is its file
// name, siblings hold one folder path, and the type texts come from the
// type cache. Reading one hands out a view or a QString copy; no copy of
// the characters is kept anywhere else.

#include <QString>
#include <QStringView>
#include <atomic>
#include <cstdint>

class CItemText
{
public:
    CItemText() = default;
    CItemText(QStringView text);
    CItemText(const QString& text) : CItemText(QStringView(text)) {}
    CItemText(const CItemText& other) noexcept;
    CItemText(CItemText&& other) noexcept : m_pBlock(other.m_pBlock) { other.m_pBlock = nullptr; }
    CItemText& operator=(const CItemText& other) noexcept;
    CItemText& operator=(CItemText&& other) noexcept;
    ~CItemText();

    QStringView View() const
    {
        return m_pBlock ? QStringView(Chars(), m_pBlock->nSize) : QStringView();
    }
    operator QString() const { return View().toString(); }
    operator QStringView() const { return View(); }
    QString ToString() const { return View().toString(); }

    bool isEmpty() const { return m_pBlock == nullptr; }
    qsizetype size() const { return m_pBlock ? m_pBlock->nSize : 0; }
    QByteArray toUtf8() const { return View().toUtf8(); }
    int compare(QStringView other, Qt::CaseSensitivity cs = Qt::CaseSensitive) const
    {
        return View().compare(other, cs);
    }

    friend bool operator==(const CItemText& a, const CItemText& b)
    {
        return a.m_pBlock == b.m_pBlock || a.View() == b.View();
    }
    friend bool operator==(const CItemText& a, QStringView b) { return a.View() == b; }
    friend bool operator==(const CItemText& a, const QString& b) { return a.View() == b; }
    friend bool operator==(const CItemText& a, const char16_t* b)
    {
        return a.View() == QStringView(b);
    }
    friend bool operator<(const CItemText& a, const CItemText& b) { return a.View() < b.View(); }

    friend QString operator+(const CItemText& a, const CItemText& b)
    {
        return Joined(a.View(), b.View());
    }
    friend QString operator+(const QString& a, const CItemText& b) { return Joined(a, b.View()); }
    friend QString operator+(const CItemText& a, const QString& b) { return Joined(a.View(), b); }

private:
    struct Block
    {
        std::atomic<std::uint32_t> nRefs;
        std::uint32_t nSize;
    };
    const char16_t* Chars() const { return reinterpret_cast<const char16_t*>(m_pBlock + 1); }
    void Release() noexcept;
    static QString Joined(QStringView a, QStringView b);

    Block* m_pBlock = nullptr; // null for the empty text
};
