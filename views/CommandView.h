#pragma once

// The strip of image buttons along the top of the main window: one button
// per command, left to right on a dark background. A click goes to the
// frame's command route; which buttons are enabled follows the route's
// answers, asked again whenever the program is idle.
//
// The bar never takes the keyboard focus, nor do its buttons, so clicking
// it leaves the frame's active view (the tree or the list) as it was and
// the command reaches the pane the user worked in last.

#include <QColor>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <span>
#include <vector>

class CAlphaButton;
class ICommandRouter;

// The bar's background, RGB(61, 63, 64).
inline const QColor COMMAND_BAR_COLOUR(61, 63, 64);

// How often the idle pass asks the route for the buttons' states.
inline constexpr int COMMAND_BAR_IDLE_MS = 100;

// The number of the string that names the image strip of command `nID`'s
// button at image scale `scale` (1.0 or 1.5).
int CommandImageString(int nID, double scale);

class CLTCommandView : public QWidget
{
    Q_OBJECT
public:
    explicit CLTCommandView(QWidget* pParent = nullptr);
    ~CLTCommandView() override;

    // Where clicks and enabling questions go; not owned. Null stops both.
    void SetTarget(ICommandRouter* pTarget) { m_pTarget = pTarget; }
    ICommandRouter* Target() const { return m_pTarget; }

    // Replaces the buttons by one per command, in order, from x = 5 and
    // y = 7 with 10 pixels after each button's width. An ID of 0 gets no
    // button.
    void CreateButtons(std::span<const int> commandIds);

    // Runs the enabling pass once and starts the idle passes.
    void OnInitialUpdate();

    // The enabling pass: each button takes the state the route gives its
    // command.
    void UpdateButtons();

    // The button of command `nID`, or null.
    CAlphaButton* Button(int nID) const;
    unsigned ButtonCount() const { return m_nButtonCount; }
    // Just right of the last button and its gap.
    int RowRight() const { return m_nRowRight; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void DestroyButtons();
    // Runs an enabling pass once the events now waiting are handled; several
    // requests before then make one pass.
    void RequestUpdate();

    std::vector<std::unique_ptr<CAlphaButton>> m_pButtons;
    unsigned m_nButtonCount = 0;
    int m_nRowRight = 0;
    ICommandRouter* m_pTarget = nullptr;
    QTimer m_idleTimer;
    bool m_bUpdateQueued = false;
};
