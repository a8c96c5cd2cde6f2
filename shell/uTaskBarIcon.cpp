#include "shell/uTaskBarIcon.h"

#include "foundation/ShiftJis.h"
#include "platform/Clock.h"

TTaskTray::TTaskTray(ITaskbarWindow& owner, std::unique_ptr<ITrayIcon> icon, bool withTimer, IClock& clock,
                     const std::string& title)
    : Owner(owner), Clock(clock), Title(title), TrayIcon(icon ? std::move(icon) : std::make_unique<TNullTrayIcon>()) {
    TrayIcon->OnActivate = [this] { IconClicked(); };
    TrayIcon->OnMenu = [this](size_t item) { MenuChosen(item); };
    TrayIcon->OnAreaCreated = [this] { AreaCreated(); };
    TimerEnabled = withTimer;
    NextPoll = Clock.NowMs() + kPollInterval;
}

TTaskTray::~TTaskTray() {
    TimerEnabled = false;
    RemoveIcon();
    TrayIcon->OnActivate = nullptr;
    TrayIcon->OnMenu = nullptr;
    TrayIcon->OnAreaCreated = nullptr;
}

std::string TTaskTray::TipOf(const std::string& title) {
    size_t end = 0;
    while (end < title.size()) {
        const size_t n = uMisc::IsSJISLeadByte(static_cast<uint8_t>(title[end])) ? 2 : 1;
        if (end + n > kTipLength) break;
        end += n;
    }
    return title.substr(0, std::min(end, title.size()));
}

void TTaskTray::SetMode(int32_t mode) {
    if (mode == Mode || mode < 0 || mode > 3) return;
    Mode = static_cast<uint8_t>(mode);
    PerformColumn(false);
}

void TTaskTray::PerformColumn(bool minimized) {
    switch (Mode) {
        case 0:
            if (!minimized) ShowTaskbarButton();
            RemoveIcon();
            break;
        case 1:
            if (!minimized) ShowTaskbarButton();
            AddIcon();
            break;
        case 2:
            if (!minimized) ShowTaskbarButton();
            AddIcon();
            if (minimized) HideTaskbarButton();
            break;
        case 3:
            if (minimized) {
                AddIcon();
                HideTaskbarButton();
            } else {
                ShowTaskbarButton();
                RemoveIcon();
            }
            break;
        default:
            break;
    }
}

void TTaskTray::Idle() {
    TrayIcon->Dispatch();
    FollowIcon();
    if (!TimerEnabled || Polling) return;
    const int64_t now = Clock.NowMs();
    if (now < NextPoll) return;
    NextPoll = now + kPollInterval;
    Poll();
}

void TTaskTray::AddIcon() {
    if (IconShown) return;
    std::vector<std::string> menu;
    if (PopupMenu)
        for (const TPopupMenu::TItem& item : PopupMenu->Items)
            menu.push_back(item.Caption);
    TrayIcon->Add(TipOf(Title), Icon, menu);
    IconShown = true;
    FollowIcon();
}

void TTaskTray::RemoveIcon() {
    if (!IconShown) return;
    TrayIcon->Remove();
    IconShown = false;
    FollowIcon();
}

void TTaskTray::HideTaskbarButton() {
    ShowMainForm = false;
    FollowIcon();
}

void TTaskTray::ShowTaskbarButton() {
    if (ShowMainForm) return;
    ShowMainForm = true;
    FollowIcon();
}

void TTaskTray::FollowIcon() {
    const bool hide = !ShowMainForm && IconShown && TrayIcon->Confirmed();
    if (hide == ButtonHidden) return;
    ButtonHidden = hide;
    Owner.SetTaskbarButton(!hide);
}

void TTaskTray::Poll() {
    Polling = true;
    const bool minimized = Owner.Iconic();
    if (minimized != WasMinimized) {
        if (OnMinimize) OnMinimize(minimized);
        PerformColumn(minimized);
        WasMinimized = minimized;
    }
    Polling = false;
}

void TTaskTray::IconClicked() {
    ShowTaskbarButton();
    Owner.Restore();
}

void TTaskTray::MenuChosen(size_t item) {
    if (PopupMenu && item < PopupMenu->Items.size() && PopupMenu->Items[item].OnClick) PopupMenu->Items[item].OnClick();
}

void TTaskTray::AreaCreated() {
    // Only an icon that was up comes back: the area's return does not put one up in a mode or a
    // state that shows none.
    if (!IconShown) return;
    IconShown = false;
    AddIcon();
}
