#pragma once

#include <QObject>
#include <QRect>
#include <QString>

class QWidget;

// Every window of the program opens inside the screen it opens on (a window
// larger than the screen's free area is made to fit, and moved in) and where
// the operator last left it. Installed once on the application; a window is
// known by its objectName. The places are kept in their own file beside the
// settings (a lost or broken file only means windows open at their first
// place, so it is never an error).
class WindowPlacement : public QObject
{
    Q_OBJECT

public:
    static void install();

    // `window` within `available`: no larger, and moved inside.
    static QRect fitted(QRect window, const QRect &available);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit WindowPlacement(QObject *parent);
    static QString placesPath();
    void place(QWidget *window);
    void remember(QWidget *window);
};
