#pragma once

// The image progress bar: a background image with, over it, the left part of
// a fill image as wide as the percentage done. No range, no text: the
// position is a percentage from 0 to 100.

#include <QImage>
#include <QRect>
#include <QWidget>

class CApProgressCtrl : public QWidget
{
    Q_OBJECT
public:
    static const QString DEFAULT_BACKGROUND; // "Image\Common\progressCtrl\progress_bg.png"
    static const QString DEFAULT_UNIT;       // "Image\Common\progressCtrl\progress_unit.png"

    explicit CApProgressCtrl(QWidget* pParent = nullptr);

    // Places the bar in `pParent` at `rect` and loads its two images (paths
    // relative to the program folder; null takes the default). A missing
    // file leaves that image out. Fails without a parent.
    bool Initialise(const QRect& rect, QWidget* pParent, const QString& backgroundPath = QString(),
                    const QString& unitPath = QString());

    // Moves the bar. Going back makes the parent repaint and posts it
    // WM_PROGRESS_WENT_BACK, since the fill that was there must be painted over.
    void SetPos(int nPercent);
    int Pos() const { return m_nPos; }

    const QImage& BackgroundImage() const { return m_imgBackground; }
    const QImage& UnitImage() const { return m_imgUnit; }
    // The width of the fill at the current position.
    double FillWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_imgBackground;
    QImage m_imgUnit;
    QRect m_rect;
    int m_nPos = 0;
};
