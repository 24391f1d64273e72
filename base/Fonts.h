#pragma once
// The screens were drawn with Windows faces, described as GDI takes them: a face
// name, a character height, an average character width and a weight from 100 to
// 900. DescribedFont turns such a description into the closest face and weight
// installed here, in one place for every painter (graph, welcome screen,
// information bar, panels, dialogs):
//   "Arial"       -> Arial, else its metric-compatible Liberation Sans;
//   "Arial Black" -> Arial Black, else the heaviest weight of a sans face the
//                    project installs (Roboto Black, then Liberation Sans Bold);
// and the weight resolves as the Windows font mapper resolves it: to the nearest
// weight the described face has, so a weight of 100 on Arial is Arial's regular
// weight, never a hairline face that happens to be installed.
// Needs a QGuiApplication (it asks the font database).

#include <QFont>
#include <QString>
#include <QStringList>

// `height` is the GDI character height (negative) or cell height (positive), in
// pixels; `width` 0 keeps the face's own proportions, otherwise the font is
// stretched so that its average character is `width` pixels wide.
QFont DescribedFont(const QString& face, int height, int width = 0, int weight = 400);

// What DescribedFont would choose, for tests and diagnostics.
struct FontChoice {
    QString family;   // the installed family, empty when none of the candidates is
    int weight = 400; // a QFont weight
};
FontChoice ChooseFace(const QString& face, int weight);
// Candidate families for a described face, best first.
QStringList SubstituteFamilies(const QString& face);
