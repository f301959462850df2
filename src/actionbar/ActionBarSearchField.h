#pragma once

#include <QLineEdit>

namespace plimsy {

// The palette's text field. It keeps the keys the palette reacts to (Return and Enter with or without Ctrl,
// Tab, Escape, Up, Down) and turns them into requests; Tab never moves the focus away.
class ActionBarSearchField : public QLineEdit
{
    Q_OBJECT

public:
    explicit ActionBarSearchField(QWidget *parent = nullptr);

Q_SIGNALS:
    void executeRequested();
    void completionRequested();
    void closeRequested();
    void nextRequested();
    void previousRequested();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    Q_DISABLE_COPY_MOVE(ActionBarSearchField)
};

} // namespace plimsy
