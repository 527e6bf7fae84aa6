#include "portwell/gui/QtDialogs.h"

#include "GuiTestSupport.h"

#include <QInputDialog>
#include <QLineEdit>

using namespace portwell::gui;
using guitest::AnswerNextMessageBox;
using guitest::OnNextModal;

namespace {

struct ButtonCase {
    uint32_t flags;
    QString clicked; // empty: the box is closed without a button
    int32_t answer;
};

TEST(QtDialogs, MessageBoxAnswersWithTheButtonPressed) {
    const ButtonCase cases[] = {
        {0, "OK", platform::IDOK},          {0, "", platform::IDOK},
        {1, "Cancel", platform::IDCANCEL},  {3, "&No", platform::IDNO},
        {3, "", platform::IDCANCEL},        {4, "&Yes", platform::IDYES},
        {2, "&Ignore", platform::IDIGNORE}, {6, "&Try Again", platform::IDTRYAGAIN},
    };
    TQtDialogs dialogs;
    for (const ButtonCase& c : cases) {
        auto answer = AnswerNextMessageBox(c.clicked.isEmpty() ? "(none)" : c.clicked);
        EXPECT_EQ(dialogs.MessageBox("text", "caption", c.flags), c.answer)
            << "flags " << c.flags << " clicked " << c.clicked.toStdString();
        EXPECT_EQ(answer->text, "text");
    }
}

TEST(QtDialogs, InputBoxReturnsTheTextOnOkAndThePresetOnCancel) {
    TQtDialogs dialogs;
    OnNextModal([](QWidget* modal) {
        auto* input = qobject_cast<QInputDialog*>(modal);
        ASSERT_NE(input, nullptr);
        EXPECT_EQ(input->labelText(), "名前");
        input->setTextValue("typed");
        input->accept();
    });
    EXPECT_EQ(dialogs.InputBox("caption", "名前", "preset"), "typed");
    OnNextModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    EXPECT_EQ(dialogs.InputBox("caption", "prompt", "preset"), "preset");
}

} // namespace
