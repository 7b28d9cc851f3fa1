#include "ItemText.h"

#include <cstring>
#include <new>

CItemText::CItemText(QStringView text)
{
    if (text.isEmpty())
        return;
    const auto n = static_cast<std::size_t>(text.size());
    void* memory = ::operator new(sizeof(Block) + n * sizeof(char16_t));
    m_pBlock = new (memory) Block{{1}, static_cast<std::uint32_t>(n)};
    std::memcpy(static_cast<void*>(m_pBlock + 1), text.utf16(), n * sizeof(char16_t));
}

CItemText::CItemText(const CItemText& other) noexcept : m_pBlock(other.m_pBlock)
{
    if (m_pBlock)
        m_pBlock->nRefs.fetch_add(1, std::memory_order_relaxed);
}

CItemText& CItemText::operator=(const CItemText& other) noexcept
{
    if (other.m_pBlock)
        other.m_pBlock->nRefs.fetch_add(1, std::memory_order_relaxed);
    Release();
    m_pBlock = other.m_pBlock;
    return *this;
}

CItemText& CItemText::operator=(CItemText&& other) noexcept
{
    if (this != &other) {
        Release();
        m_pBlock = other.m_pBlock;
        other.m_pBlock = nullptr;
    }
    return *this;
}

CItemText::~CItemText()
{
    Release();
}

void CItemText::Release() noexcept
{
    if (m_pBlock && m_pBlock->nRefs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        m_pBlock->~Block();
        ::operator delete(m_pBlock);
    }
    m_pBlock = nullptr;
}

QString CItemText::Joined(QStringView a, QStringView b)
{
    QString joined;
    joined.reserve(a.size() + b.size());
    joined.append(a);
    joined.append(b);
    return joined;
}
