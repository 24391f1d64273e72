#pragma once
// The graph view: the right-hand pane of the main window. Before any data is
// loaded it shows the welcome screen with the button bar.

#include <QWidget>

class AppShell;
class CButtonBar;

class CDTView : public QWidget {
    Q_OBJECT
public:
    CDTView(AppShell& shell, QWidget* parent = nullptr);
    AppShell& Shell() { return m_shell; }

    // Paints the welcome screen of a client area of the given size.
    static void PaintWelcome(QPainter& p, const QRect& client);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    void PlaceButtonBar();

    AppShell& m_shell;
    CButtonBar* m_buttonBar = nullptr;
};
