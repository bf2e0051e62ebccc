#pragma once

#include <functional>
#include <unordered_map>

// A class that can handle commands: its message map from command identifier to handler.
class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;

    // Runs the handler of nID (when execute is true) and tells whether this target has one.
    // Routing classes override it to pass the command on along their path.
    virtual bool OnCmdMsg(int nID, bool execute);

    // Told after this target's message map changes, so that the shown state of its commands can
    // follow; the one observer is the frame that routes through this target.
    void SetCommandMapObserver(std::function<void()> observer) { m_observer = std::move(observer); }

protected:
    // One message-map entry: the command and its handler.
    void OnCommand(int nID, std::function<void()> handler);
    // Tells the observer that the commands this target handles changed, as an override of
    // OnCmdMsg may refuse some while the target is in another state.
    void NotifyCommandStateChanged() const {
        if (m_observer)
            m_observer();
    }

private:
    std::unordered_map<int, std::function<void()>> m_commandMap;
    std::function<void()> m_observer;
};
