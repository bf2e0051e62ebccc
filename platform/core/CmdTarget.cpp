#include "platform/core/CmdTarget.h"

bool CCmdTarget::OnCmdMsg(int nID, bool execute) {
    const auto it = m_commandMap.find(nID);
    if (it == m_commandMap.end())
        return false;
    if (execute)
        it->second();
    return true;
}

void CCmdTarget::OnCommand(int nID, std::function<void()> handler) {
    m_commandMap[nID] = std::move(handler);
    if (m_observer)
        m_observer();
}
