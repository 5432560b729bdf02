// Qt's own texts in the windows are Japanese: the buttons of message boxes and dialogs.
#include <QDialogButtonBox>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(QtTranslations, QtsOwnButtonsAreJapanese)
{
    QDialogButtonBox box(QDialogButtonBox::Yes | QDialogButtonBox::No | QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Yes)->text(), QStringLiteral("はい(&Y)"));
    EXPECT_EQ(box.button(QDialogButtonBox::No)->text(), QStringLiteral("いいえ(&N)"));
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
}
