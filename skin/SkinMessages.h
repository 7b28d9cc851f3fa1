#pragma once

// Posted window messages between the skinned controls and their parents.
// A control that would post a message to its parent window posts one of
// these events instead; the parent handles it in event(). The numbers are
// the program's own message numbers.

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <cstdint>

inline constexpr unsigned WM_COMMAND = 0x0111;
// Posted by the progress bar to its parent when its position goes back.
inline constexpr unsigned WM_PROGRESS_WENT_BACK = 10574;

// The notification code of a button click in a WM_COMMAND.
inline constexpr unsigned BN_CLICKED = 0;

class CPostedMessage : public QEvent
{
public:
    CPostedMessage(unsigned nMessage, std::uintptr_t wParam, std::intptr_t lParam,
                   QObject* pSender = nullptr)
        : QEvent(EventType()), m_nMessage(nMessage), m_wParam(wParam), m_lParam(lParam),
          m_pSender(pSender)
    {
    }

    static QEvent::Type EventType()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    unsigned Message() const { return m_nMessage; }
    std::uintptr_t WParam() const { return m_wParam; }
    std::intptr_t LParam() const { return m_lParam; }
    // The control that posted it, or null when it is gone.
    QObject* Sender() const { return m_pSender; }

    // For WM_COMMAND: the command ID (low word) and the notification code.
    int CommandId() const { return int(m_wParam & 0xFFFF); }
    unsigned NotifyCode() const { return unsigned((m_wParam >> 16) & 0xFFFF); }

private:
    unsigned m_nMessage;
    std::uintptr_t m_wParam;
    std::intptr_t m_lParam;
    QPointer<QObject> m_pSender;
};

// Queues a message for `pTarget`; it arrives after the current event is done.
inline void PostMessageTo(QObject* pTarget, unsigned nMessage, std::uintptr_t wParam = 0,
                          std::intptr_t lParam = 0, QObject* pSender = nullptr)
{
    if (pTarget)
        QCoreApplication::postEvent(pTarget, new CPostedMessage(nMessage, wParam, lParam, pSender));
}

// The message of `event` when it is a posted message, else null.
inline const CPostedMessage* AsPostedMessage(const QEvent* event)
{
    return event && event->type() == CPostedMessage::EventType()
               ? static_cast<const CPostedMessage*>(event)
               : nullptr;
}
