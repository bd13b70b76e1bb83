#pragma once

class QFont;
class QMenu;
class QString;

// The entries of the panes' context menus. The owner builds the menus with one of these in each
// entry's data; the pane that shows a menu carries out the entry chosen.
enum class ContextCommand
{
    Rename = 1,
    Delete,
    Cut,
    Copy,
    Paste
};

// What the note panel and its panes ask of the window that holds them: the fonts and word
// wrap, the shared context menus, the status line, and a word whenever the state behind the
// commands changed.
class INotePanelOwner
{
public:
    virtual ~INotePanelOwner() = default;

    virtual const QFont& GetTitleFont() const = 0;
    virtual const QFont& GetTextFont() const = 0;
    // The list's font: the desktop's, at the user's zoom.
    virtual QFont GetListFont() const = 0;
    virtual bool GetWordWrap() const = 0;
    // Position 0 is the list's menu, 1 the editor's; null when there is none.
    virtual QMenu* GetContextSubMenu(int position) const = 0;
    virtual void UpdateCommandStates() = 0;
    // Shows a message in the status line.
    virtual void SetMessageText(const QString& text) = 0;
};
