#pragma once

// Qt's own texts (message-box buttons, the file and folder dialogs, the context menus of text
// edits) in Japanese: the Qt translations of the system (Debian's qt6-translations-l10n) are
// installed on the application. Answers false when they are not there; Qt then keeps its
// English texts. Call once, after the QApplication exists.
bool InstallQtTranslations();
