#pragma once
// The start-up splash: shown for one second or until the first key or mouse
// press anywhere in the application, which closes it and is then discarded.

#include <QWidget>

class CSplashWnd : public QWidget {
    Q_OBJECT
public:
    explicit CSplashWnd(QWidget* owner);
    ~CSplashWnd() override;
    static QPixmap Artwork();

protected:
    void paintEvent(QPaintEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Finish();
    QPixmap m_pixmap;
    bool m_finished = false;
    bool m_swallowKey = false;
};
