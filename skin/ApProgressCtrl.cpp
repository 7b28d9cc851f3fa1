#include "ApProgressCtrl.h"

#include "SkinGeometry.h"
#include "SkinImages.h"
#include "SkinMessages.h"

#include <QPainter>

const QString CApProgressCtrl::DEFAULT_BACKGROUND =
    QStringLiteral("Image\\Common\\progressCtrl\\progress_bg.png");
const QString CApProgressCtrl::DEFAULT_UNIT =
    QStringLiteral("Image\\Common\\progressCtrl\\progress_unit.png");

CApProgressCtrl::CApProgressCtrl(QWidget* pParent) : QWidget(pParent) {}

bool CApProgressCtrl::Initialise(const QRect& rect, QWidget* pParent, const QString& backgroundPath,
                                 const QString& unitPath)
{
    if (!pParent)
        return false;
    m_rect = rect;
    setParent(pParent);
    setGeometry(rect);
    show();
    m_imgBackground = LoadSkinImage(backgroundPath.isNull() ? DEFAULT_BACKGROUND : backgroundPath);
    m_imgUnit = LoadSkinImage(unitPath.isNull() ? DEFAULT_UNIT : unitPath);
    return true;
}

void CApProgressCtrl::SetPos(int nPercent)
{
    if (nPercent == m_nPos)
        return;
    if (nPercent < m_nPos) {
        if (QWidget* parent = parentWidget()) {
            parent->update();
            PostMessageTo(parent, WM_PROGRESS_WENT_BACK, 0, 0, this);
        }
    }
    m_nPos = nPercent;
    update();
}

double CApProgressCtrl::FillWidth() const
{
    return ProgressFillWidth(m_rect.width(), m_nPos);
}

void CApProgressCtrl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int w = m_rect.width();
    const int h = m_rect.height();
    if (!m_imgBackground.isNull())
        painter.drawImage(QRect(0, 0, w, h), m_imgBackground, QRect(0, 0, w, h));
    const double fill = FillWidth();
    if (!m_imgUnit.isNull() && fill > 0)
        painter.drawImage(QRectF(0, 0, fill, h), m_imgUnit, QRectF(0, 0, fill, h));
}
