#pragma once

class QCoreApplication;

namespace platform {

// The interface is Chinese whatever the user's locale: makes zh_CN the default locale (the
// embedded browser takes its page language from it) and installs Qt's own zh_CN
// translations (context menus, file dialogs, standard buttons) where the system has them.
// Call once, after the application object is made and before the first window.
// Returns false when Qt's base translation could not be loaded.
bool installChineseTranslations(QCoreApplication &app);

} // namespace platform
