#pragma once

#include "data/appidentity.h"

#include <functional>

class QCoreApplication;
class QWidget;

// The resources live in a static library, whose registration the linker would
// otherwise drop; safe to call more than once.
void initZepResources();

// Installs Qt's own Chinese texts (qtbase_zh_CN.qm of Debian's
// qttranslations5-l10n: OK, Cancel, Yes, No, the file, colour and print
// dialogs), whatever the system's language: the program's own texts are
// Chinese. Returns whether the translation was found and installed.
bool installQtTranslation(QCoreApplication &app);

// Runs step once the shown window is on the screen where the window system
// put it, so that dialogs the step opens centre on it rather than on where
// it was before; after waitMs at the latest, should it never appear.
void runOnceOnScreen(QWidget *window, std::function<void()> step, int waitMs = 2000);

// Makes GBK the locale codec where that cannot break file access (see the
// definition); returns whether the codec was installed.
bool installLocaleCodec();
