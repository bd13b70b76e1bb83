#pragma once

// What an update rule says about one command at one moment.
class CCmdUI
{
public:
    explicit CCmdUI(int id) : m_nID(id) {}

    void Enable(bool enabled = true) { m_enabled = enabled; }
    void SetCheck(bool checked = true) { m_checked = checked; }

    int m_nID;
    bool m_enabled = true;
    bool m_checked = false;
};
