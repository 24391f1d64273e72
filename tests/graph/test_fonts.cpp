// The described Windows faces and weights on the faces installed here.

#include "base/Fonts.h"
#include "graph/GraphRenderer.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>

#include <gtest/gtest.h>

namespace {

// The renderer's tests in the same binary may have made the application already.
QGuiApplication& App() {
    if (qGuiApp)
        return *qGuiApp;
    static int argc = 1;
    static char name[] = "test_fonts";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    return *app;
}

int HeaviestUpright(const QString& family) {
    int heaviest = 0;
    for (const QString& style : QFontDatabase::styles(family))
        if (!QFontDatabase::italic(family, style))
            heaviest = std::max(heaviest, QFontDatabase::weight(family, style));
    return heaviest;
}

// Weight 100 on Arial, which has no such weight, is Arial's regular weight;
// before, the font matcher picked an installed hairline face for it.
TEST(Fonts, ArialIsAMetricCompatibleFaceAndThinMeansRegular) {
    App();
    const FontChoice c = ChooseFace("Arial", 100);
    ASSERT_FALSE(c.family.isEmpty()) << "neither Arial nor Liberation Sans is installed";
    EXPECT_TRUE(c.family == "Arial" || c.family == "Liberation Sans") << c.family.toStdString();
    for (int described : {0, 100, 400, 500}) {
        const QFontInfo info(DescribedFont("Arial", -14, 0, described));
        EXPECT_EQ(info.family(), c.family) << described;
        EXPECT_EQ(info.weight(), QFont::Normal) << described;
        EXPECT_FALSE(info.style() != QFont::StyleNormal) << described;
    }
    for (int described : {600, 700, 900})
        EXPECT_EQ(QFontInfo(DescribedFont("Arial", -14, 0, described)).weight(), QFont::Bold)
            << described;
    // Liberation Sans keeps Arial's metrics: the texts placed for Arial fit.
    EXPECT_EQ(QFontInfo(DescribedFont("Arial", -14)).pixelSize(), 14);
}

TEST(Fonts, ArialBlackIsTheHeaviestWeightOfAnInstalledSansFace) {
    App();
    const FontChoice c = ChooseFace("Arial Black", 100);
    ASSERT_FALSE(c.family.isEmpty());
    EXPECT_EQ(c.weight, HeaviestUpright(c.family));
    EXPECT_GE(c.weight, int(QFont::Bold));
    const QFontInfo welcome(WelcomeFont());
    EXPECT_EQ(welcome.family(), c.family);
    EXPECT_EQ(welcome.weight(), c.weight);
    // The project installs a face with a black weight (fonts-roboto-unhinted).
    EXPECT_GE(HeaviestUpright(ChooseFace("Arial Black", 400).family), int(QFont::Black));
}

TEST(Fonts, AverageWidthAndUnknownFaces) {
    App();
    // The welcome lettering: 90 pixels high, 40 wide on average.
    EXPECT_NEAR(QFontMetrics(WelcomeFont()).averageCharWidth(), 40, 3);
    EXPECT_NEAR(QFontMetrics(LegendFont()).averageCharWidth(), 8, 1);
    // A face nobody maps keeps its name first and a sans face behind it.
    const QStringList families = SubstituteFamilies("System");
    EXPECT_EQ(families.first(), "System");
    EXPECT_TRUE(families.contains("Liberation Sans"));
    EXPECT_EQ(QFontInfo(DescribedFont("System", -14, 0, 100)).weight(), QFont::Normal);
}

} // namespace
