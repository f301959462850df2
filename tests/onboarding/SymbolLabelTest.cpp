// Runs at a device pixel ratio of 2 (QT_SCALE_FACTOR=2), as a HiDPI desktop scales.
#include "onboarding/OnboardingWidgets.h"
#include "preferences/ThemeIcon.h"

#include <QGuiApplication>
#include <QLabel>
#include <QWidget>

using namespace plimsy;

TEST(SymbolLabelTest, AtTwiceTheDensityASymbolIsDrawnAtItsLabelsSizeInDevicePixels)
{
    ASSERT_EQ(qApp->devicePixelRatio(), 2.0);
    QWidget holder;
    for (const Symbol &symbol : {Symbols::Server, Symbols::Info, Symbols::Key}) {
        QLabel *label = makeSymbolLabel(symbol, 20, Qt::black, &holder);
        const QPixmap shown = label->pixmap();
        EXPECT_EQ(shown.size(), QSize(40, 40)) << symbol.fallback;
        EXPECT_EQ(shown.deviceIndependentSize(), QSizeF(label->size())) << symbol.fallback;
    }
    // A tinted icon is drawn for the density asked, not scaled up from one size.
    const QIcon tinted = tintedIcon(QIcon(QStringLiteral(":/onboarding/symbols/server.svg")), holder.palette());
    EXPECT_EQ(tinted.pixmap(QSize(24, 24)).size(), QSize(48, 48));
}
