#include "base/Fonts.h"

#include <QFontDatabase>
#include <QFontMetrics>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

struct KnownFace {
    const char* name;         // lower case
    std::vector<int> weights; // the weights the Windows face has
    std::vector<const char*> substitutes;
};

// Only faces the screens name are listed; any other face keeps its name, with a
// sans face behind it. Roboto comes from fonts-roboto-unhinted, Liberation Sans
// from fonts-liberation, DejaVu Sans from fonts-dejavu-core.
const std::vector<KnownFace>& KnownFaces() {
    static const std::vector<KnownFace> faces = {
        {"arial", {400, 700}, {"Arial", "Liberation Sans", "Arimo", "DejaVu Sans"}},
        {"arial black", {900}, {"Arial Black", "Roboto", "Liberation Sans", "DejaVu Sans"}},
    };
    return faces;
}

const KnownFace* Find(const QString& face) {
    const QString key = face.trimmed().toLower();
    for (const KnownFace& f : KnownFaces())
        if (key == QLatin1String(f.name))
            return &f;
    return nullptr;
}

// Nearest of `weights` to `wanted`, the lighter one on a tie.
int Nearest(const std::vector<int>& weights, int wanted) {
    int best = weights.front();
    for (int w : weights)
        if (std::abs(w - wanted) < std::abs(best - wanted) ||
            (std::abs(w - wanted) == std::abs(best - wanted) && w < best))
            best = w;
    return best;
}

QString Installed(const QString& family) {
    const QStringList families = QFontDatabase::families();
    for (const QString& f : families)
        if (f.compare(family, Qt::CaseInsensitive) == 0)
            return f;
    return {};
}

std::vector<int> UprightWeights(const QString& family) {
    std::vector<int> weights;
    for (const QString& style : QFontDatabase::styles(family))
        if (!QFontDatabase::italic(family, style))
            weights.push_back(QFontDatabase::weight(family, style));
    weights.erase(std::remove_if(weights.begin(), weights.end(), [](int w) { return w <= 0; }),
                  weights.end());
    return weights;
}

} // namespace

QStringList SubstituteFamilies(const QString& face) {
    QStringList out;
    if (const KnownFace* k = Find(face)) {
        for (const char* s : k->substitutes)
            out << QString::fromLatin1(s);
    } else {
        out << face << QStringLiteral("Liberation Sans") << QStringLiteral("DejaVu Sans");
    }
    return out;
}

FontChoice ChooseFace(const QString& face, int weight) {
    const KnownFace* k = Find(face);
    // GDI: 0 is "don't care", i.e. regular.
    const int described = weight <= 0 ? 400 : std::clamp(weight, 100, 900);
    const int windowsWeight = Nearest(k ? k->weights : std::vector<int>{400, 700}, described);
    FontChoice c;
    c.weight = windowsWeight;
    for (const QString& candidate : SubstituteFamilies(face)) {
        const QString family = Installed(candidate);
        if (family.isEmpty())
            continue;
        c.family = family;
        const std::vector<int> weights = UprightWeights(family);
        if (!weights.empty())
            c.weight = Nearest(weights, windowsWeight);
        break;
    }
    return c;
}

QFont DescribedFont(const QString& face, int height, int width, int weight) {
    const FontChoice c = ChooseFace(face, weight);
    QFont f;
    QStringList families = SubstituteFamilies(face);
    if (!c.family.isEmpty()) {
        families.removeAll(c.family);
        families.prepend(c.family);
    }
    f.setFamilies(families);
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(std::max(1, std::abs(height)));
    if (height > 0) {
        // A cell height includes the internal leading: shrink to fit the cell.
        const int cell = QFontMetrics(f).height();
        if (cell > height)
            f.setPixelSize(std::max(1, height * height / cell));
    }
    f.setWeight(QFont::Weight(c.weight));
    if (width > 0) {
        const int natural = QFontMetrics(f).averageCharWidth();
        if (natural > 0)
            f.setStretch(std::clamp(100 * width / natural, 1, 4000));
    }
    return f;
}
