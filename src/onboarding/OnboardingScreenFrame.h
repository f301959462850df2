#pragma once

#include <QString>

class QProgressBar;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace plimsy {

// The frame of the key and notices screens: a scrolled column of content over a divider and a row of
// "Back", a secondary button and the main (default) button, which holds a busy indicator.
struct OnboardingScreenFrame
{
    struct Names
    {
        QString secondaryTitle;
        QString secondaryName;
        QString primaryName;
        QString busyName;
    };

    // Lays the frame out in `screen`; the content column is padded by 24 px, its items `spacing` apart.
    OnboardingScreenFrame(QWidget *screen, int spacing, const Names &names);

    QWidget *content;
    QVBoxLayout *contentLayout;
    QPushButton *back;
    QPushButton *secondary;
    QPushButton *primary;
    QProgressBar *busy;
};

} // namespace plimsy
