#include "platform/SystemAlertPresenter.h"

#include "Await.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace plimsy;

namespace {

QList<QMessageBox *> openBoxes()
{
    QList<QMessageBox *> boxes;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible()) {
            boxes << box;
        }
    }
    return boxes;
}

QAbstractButton *buttonTitled(QMessageBox *box, const QString &title)
{
    for (QAbstractButton *button : box->buttons()) {
        if (button->text() == title) {
            return button;
        }
    }
    return nullptr;
}

} // namespace

TEST(SystemAlertPresenterTest, AnswersWithTheIndexOfTheButtonClicked)
{
    SystemAlertPresenter presenter;
    QSignalSpy answered(&presenter, &AlertPresenter::answered);
    const auto id = presenter.show(
        {QStringLiteral("Are you sure?"), QStringLiteral("detail"), Alert::Style::Warning, {"Deploy Now", "Cancel"}});
    ASSERT_EQ(openBoxes().size(), 1);
    QMessageBox *box = openBoxes().constFirst();
    EXPECT_EQ(box->text(), QStringLiteral("Are you sure?"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("detail"));
    EXPECT_TRUE(presenter.isShowing(id));

    buttonTitled(box, QStringLiteral("Cancel"))->click();
    ASSERT_EQ(answered.size(), 1);
    EXPECT_EQ(answered.at(0).at(0).value<AlertPresenter::AlertId>(), id);
    EXPECT_EQ(answered.at(0).at(1).toInt(), 1);
    EXPECT_FALSE(presenter.isShowing(id));
}

// Escape and the window's close button answer as the alert's cancel, whichever place it has.
struct CancelRow
{
    const char *name;
    QStringList buttons;
    // Closed: the alert refuses to end that way and stays until closed from code.
    int answer;
};

class SystemAlertCancelTest : public ::testing::TestWithParam<CancelRow>
{
};

TEST_P(SystemAlertCancelTest, EscapeAndTheCloseButtonAnswerAsCancel)
{
    const CancelRow &row = GetParam();
    SystemAlertPresenter presenter;
    QSignalSpy answered(&presenter, &AlertPresenter::answered);
    for (const bool byEscape : {true, false}) {
        const auto id = presenter.show({QStringLiteral("Question"), {}, Alert::Style::Warning, row.buttons});
        QMessageBox *box = openBoxes().constLast();
        byEscape ? QTest::keyClick(box, Qt::Key_Escape) : void(box->close());
        presenter.close(id);
        EXPECT_FALSE(box->isVisible());
        ASSERT_EQ(answered.size(), 1);
        EXPECT_EQ(answered.takeFirst().at(1).toInt(), row.answer) << (byEscape ? "Escape" : "close button");
    }
}

const CancelRow CancelRows[] = {
    {"CancelAmongThree", {"Save Anyway", "Cancel", "Help"}, 1},
    {"CancelFirst", {"Cancel", "Overwrite"}, 0},
    {"SecondOfTwo", {"Migrate Now", "Later"}, 1},
    {"OnlyButton", {}, 0},
    {"NoCancelAmongThree", {"Save", "Don't Save", "Revert"}, AlertPresenter::Closed},
};

INSTANTIATE_TEST_SUITE_P(Alerts, SystemAlertCancelTest, ::testing::ValuesIn(CancelRows), [](const auto &info) {
    return std::string(info.param.name);
});

TEST(SystemAlertPresenterTest, CloseEndsOnlyItsOwnAlert)
{
    SystemAlertPresenter presenter;
    const auto confirmation =
        presenter.show({QStringLiteral("Reboot?"), {}, Alert::Style::Warning, {"Reboot", "Cancel"}});
    const auto error = presenter.show({QStringLiteral("An error occured"), {}, Alert::Style::Warning, {}});
    QSignalSpy answered(&presenter, &AlertPresenter::answered);

    presenter.close(error);
    presenter.close(error);
    ASSERT_EQ(answered.size(), 1);
    EXPECT_EQ(answered.at(0).at(1).toInt(), AlertPresenter::Closed);
    EXPECT_TRUE(presenter.isShowing(confirmation));
    EXPECT_FALSE(presenter.isShowing(error));
    presenter.close(confirmation);
}

TEST(SystemAlertPresenterTest, AskResumesWithTheAnswer)
{
    SystemAlertPresenter presenter;
    QTimer::singleShot(0, &presenter, [] {
        QMessageBox *box = openBoxes().constLast();
        buttonTitled(box, QStringLiteral("OK"))->click();
    });
    EXPECT_EQ(
        test::await(presenter.ask({QStringLiteral("Signed In Successfully"), {}, Alert::Style::Informational, {}})), 0);
}

namespace {

QCoro::Task<> askInto(AlertPresenter *presenter, QString question, QStringList *answers)
{
    const Alert alert{question, {}, Alert::Style::Warning, {"OK", "Cancel"}};
    const int button = co_await presenter->ask(alert);
    answers->append(question + QStringLiteral(" %1").arg(button));
}

QMessageBox *boxAsking(const QString &question)
{
    for (QMessageBox *box : openBoxes()) {
        if (box->text() == question) {
            return box;
        }
    }
    return nullptr;
}

} // namespace

TEST(SystemAlertPresenterTest, QuestionsAnsweredInOneTurnEachGetTheirOwnAnswer)
{
    SystemAlertPresenter presenter;
    QStringList answers;
    auto first = askInto(&presenter, QStringLiteral("First?"), &answers);
    auto second = askInto(&presenter, QStringLiteral("Second?"), &answers);
    ASSERT_NE(boxAsking("First?"), nullptr);
    ASSERT_NE(boxAsking("Second?"), nullptr);
    // Both answers leave before the event loop runs again.
    buttonTitled(boxAsking("Second?"), QStringLiteral("Cancel"))->click();
    buttonTitled(boxAsking("First?"), QStringLiteral("OK"))->click();
    test::await(std::move(first));
    test::await(std::move(second));
    EXPECT_EQ(answers, (QStringList{"Second? 1", "First? 0"}));
}
