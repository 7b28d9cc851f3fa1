#pragma once

// The dialogs that ask for a file or a folder on disk. Where the desktop
// offers its own (portal or GTK) dialog it is used as it is; Qt's own dialog
// gets its file-type box wide enough for the longest filter.

#include <QFileDialog>
#include <QString>

class CFileDialogEX : public QFileDialog
{
    Q_OBJECT
public:
    // `filter` in the classic form: description|patterns|description|...,
    // patterns separated by ';'.
    CFileDialogEX(bool bOpen, const QString& filter, QWidget* pParent);

    // The classic filter text in Qt's form: each description keeps its text
    // and the patterns become a blank-separated list that matches names in
    // any case (Qt's own dialog and the desktop's compare case-sensitively).
    static QStringList QtFilters(const QString& classic);
    // The width the file-type box's list needs for its longest entry.
    static int DroppedWidthFor(const class QComboBox* pCombo);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void WidenFileTypeBox();
};

// Asks for a folder, starting in `start` when it exists; the user may make a
// new folder in it. Empty when cancelled.
QString BrowseForFolder(QWidget* pOwner, const QString& title, const QString& start);
