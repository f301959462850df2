#pragma once

#include "Await.h"
#include "editor/MonacoEditorDelegate.h"
#include "editor/MonacoEditorView.h"

#include <QTest>
#include <QVariant>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace plimsy::test {

// The page starts a renderer process and loads the editor from disk: slow on a busy machine.
inline constexpr int EditorWaitLimit = 90'000;

inline bool waitUntilReady(MonacoEditorView *view)
{
    return QTest::qWaitFor([view] { return view->isEditorReady(); }, EditorWaitLimit);
}

// Runs a script in the editor's page and returns what it gives back.
inline QVariant evaluateInPage(MonacoEditorView *view, const QString &script)
{
    auto result = std::make_shared<std::optional<QVariant>>();
    view->webPage()->runScript(script, [result](const QVariant &value) { *result = value; });
    EXPECT_TRUE(QTest::qWaitFor([&result] { return result->has_value(); }, EditorWaitLimit))
        << "no answer from the page";
    return result->value_or(QVariant());
}

inline std::optional<QString> pageText(MonacoEditorView *view)
{
    return await(view->content(), std::chrono::milliseconds(EditorWaitLimit));
}

// What the editor itself reports of its settings, through its public interface.
inline QVariantMap editorState(MonacoEditorView *view)
{
    return evaluateInPage(view, QStringLiteral(R"JS((() => {
        const editor = monaco.editor.getEditors()[0];
        const option = monaco.editor.EditorOption;
        const ranges = editor.getVisibleRanges();
        return {
            language: editor.getModel().getLanguageId(),
            readOnly: editor.getOption(option.readOnly),
            lineNumbers: editor.getOption(option.lineNumbers).renderType !== 0,
            firstVisibleLine: ranges.length ? ranges[0].startLineNumber : 0,
            lastVisibleLine: ranges.length ? ranges[ranges.length - 1].endLineNumber : 0,
            lineCount: editor.getModel().getLineCount(),
        };
    })())JS"))
        .toMap();
}

// Keys typed into the editor as a user would: focus inside the page, then key events to the web view.
inline void typeKeys(MonacoEditorView *view, const QString &keys)
{
    evaluateInPage(view, QStringLiteral("monaco.editor.getEditors()[0].focus()"));
    QWidget *web = view->webPage()->widget();
    QWidget *target = web->focusProxy() ? web->focusProxy() : web;
    QTest::keyClicks(target, keys);
}

inline void pressShortcut(MonacoEditorView *view, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    evaluateInPage(view, QStringLiteral("monaco.editor.getEditors()[0].focus()"));
    QWidget *web = view->webPage()->widget();
    QWidget *target = web->focusProxy() ? web->focusProxy() : web;
    QTest::keyClick(target, key, modifiers);
}

// Records what the page's messages become.
struct RecordingEditorDelegate final : MonacoEditorDelegate
{
    int changes = 0;
    QStringList saves;
    int closes = 0;
    int reloads = 0;

    void contentDidChange() override { ++changes; }
    void editorDidRequestSave(const QString &text) override { saves << text; }
    void editorDidRequestClose() override { ++closes; }
    void editorDidRequestReload() override { ++reloads; }
};

} // namespace plimsy::test
