// Graph code with a message box: the layer check must refuse it.
#include <QMessageBox>
