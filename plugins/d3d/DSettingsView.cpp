#include "plugins/d3d/DSettingsView.h"

#include <imgui.h>

#include <cstring>

#include "plugins/d3d/DSettingsModel.h"

namespace {

// Layout in pixels: labels on the left, their lists beside them, the two
// groups side by side below, "Shoot" under them and the page's buttons in
// the bottom right corner.
constexpr float kMargin = 12.0f;
constexpr float kFieldX = 112.0f;
constexpr float kFieldWidth = 316.0f;
constexpr float kRowStep = 28.0f;
constexpr float kGroupTop = 100.0f;
constexpr float kGroupHeight = 122.0f;
constexpr float kModeGroupWidth = 250.0f;
constexpr float kConfigGroupX = kMargin + kModeGroupWidth + 10.0f;
constexpr float kShootTop = 232.0f;
constexpr float kButtonWidth = 72.0f;

// A drop-down list; the entry chosen in this frame, or -1.
int DropDown(const char* id, const std::vector<std::string>& items, int selected, float width) {
  int chosen = -1;
  const char* shown = selected >= 0 && selected < static_cast<int>(items.size())
                          ? items[static_cast<size_t>(selected)].c_str()
                          : "";
  ImGui::SetNextItemWidth(width);
  if (ImGui::BeginCombo(id, shown)) {
    for (size_t i = 0; i < items.size(); ++i) {
      const bool current = static_cast<int>(i) == selected;
      if (ImGui::Selectable(items[i].c_str(), current)) chosen = static_cast<int>(i);
      if (current) ImGui::SetItemDefaultFocus();
    }
    ImGui::EndCombo();
  }
  return chosen;
}

}  // namespace

DSettingsView::Action DSettingsView::Draw(DSettingsModel& model, bool canShoot) {
  m_placed.clear();
  const ImGuiIO& io = ImGui::GetIO();
  ImGui::SetNextWindowPos(ImVec2(0, 0));
  ImGui::SetNextWindowSize(io.DisplaySize);
  const ImGuiWindowFlags flags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                                 ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoBringToFrontOnFocus;
  Action action = Action::kNone;
  if (ImGui::Begin("Direct3D", nullptr, flags)) {
    Lists(model);
    DisplayModeGroup(model);
    ConfigurationGroup(model);
    action = Buttons(canShoot);
  }
  ImGui::End();
  return action;
}

const DSettingsView::Placed* DSettingsView::Find(const char* text) const {
  for (const Placed& placed : m_placed)
    if (placed.text == text) return &placed;
  return nullptr;
}

void DSettingsView::Place(const char* text) {
  const ImVec2 min = ImGui::GetItemRectMin();
  const ImVec2 max = ImGui::GetItemRectMax();
  m_placed.push_back(Placed{text, min.x, min.y, max.x, max.y});
}

void DSettingsView::Label(const char* text, float x, float y) {
  ImGui::SetCursorPos(ImVec2(x, y + ImGui::GetStyle().FramePadding.y));
  ImGui::TextUnformatted(text);
  Place(text);
}

void DSettingsView::Lists(DSettingsModel& model) {
  const DSettingsModel::Enabling on = model.GetEnabling();
  struct Row {
    const char* label;
    const char* id;
    const std::vector<std::string>& items;
    int selected;
    bool enabled;
    void (DSettingsModel::*choose)(int);
  } rows[] = {
      {"Display No.", "##display", model.GetDisplayItems(), model.GetSelectedDisplay(), on.display,
       &DSettingsModel::SelectDisplay},
      {"DDraw Adapter", "##adapter", model.GetAdapterItems(), model.GetSelectedAdapter(), on.adapter,
       &DSettingsModel::SelectAdapter},
      {"D3D Driver", "##driver", model.GetDriverItems(), model.GetSelectedDriver(), on.driver,
       &DSettingsModel::SelectDriver},
  };
  float y = kMargin;
  for (const Row& row : rows) {
    ImGui::BeginDisabled(!row.enabled);
    Label(row.label, kMargin, y);
    ImGui::SetCursorPos(ImVec2(kFieldX, y));
    const int chosen = DropDown(row.id, row.items, row.selected, kFieldWidth);
    ImGui::EndDisabled();
    if (chosen >= 0) (model.*row.choose)(chosen);
    y += kRowStep;
  }
}

void DSettingsView::DisplayModeGroup(DSettingsModel& model) {
  const DSettingsModel::Enabling on = model.GetEnabling();
  const DSettingsModel::Settings& s = model.GetSettings();
  ImGui::SetCursorPos(ImVec2(kMargin, kGroupTop));
  ImGui::BeginChild("##displaymode", ImVec2(kModeGroupWidth, kGroupHeight), true,
                    ImGuiWindowFlags_NoScrollbar);
  ImGui::TextUnformatted("Display mode");
  Place("Display mode");
  if (ImGui::RadioButton("Fullscreen", s.fullScreen)) model.SetFullScreen(true);
  Place("Fullscreen");
  ImGui::SameLine();
  if (ImGui::RadioButton("Windowed", !s.fullScreen)) model.SetFullScreen(false);
  Place("Windowed");

  ImGui::BeginDisabled(!on.resolution);
  ImGui::AlignTextToFramePadding();
  ImGui::TextUnformatted("Resolution");
  Place("Resolution");
  ImGui::SameLine(80.0f);
  const int chosen =
      DropDown("##resolution", model.GetResolutionItems(), model.GetSelectedResolution(), 150.0f);
  ImGui::EndDisabled();
  if (chosen >= 0) model.SelectResolution(chosen);

  // The size as typed goes to the model (which fits it to the display)
  // when the edit ends.
  ImGui::BeginDisabled(!on.windowSize);
  const DSettingsModel::Settings& now = model.GetSettings();
  if (!m_editingWidth) m_editWidth = now.width;
  if (!m_editingHeight) m_editHeight = now.height;
  ImGui::AlignTextToFramePadding();
  ImGui::TextUnformatted("Width");
  Place("Width");
  ImGui::SameLine(80.0f);
  ImGui::SetNextItemWidth(50.0f);
  ImGui::InputInt("##width", &m_editWidth, 0, 0);
  m_editingWidth = ImGui::IsItemActive();
  const bool widthDone = ImGui::IsItemDeactivatedAfterEdit();
  ImGui::SameLine();
  ImGui::TextUnformatted("Height");
  Place("Height");
  ImGui::SameLine();
  ImGui::SetNextItemWidth(50.0f);
  ImGui::InputInt("##height", &m_editHeight, 0, 0);
  m_editingHeight = ImGui::IsItemActive();
  const bool heightDone = ImGui::IsItemDeactivatedAfterEdit();
  ImGui::EndDisabled();
  if (widthDone || heightDone)
    model.SetWindowSize(widthDone ? m_editWidth : now.width, heightDone ? m_editHeight : now.height);
  ImGui::EndChild();
}

void DSettingsView::ConfigurationGroup(DSettingsModel& model) {
  const int mode = model.GetSettings().configurationMode;
  ImGui::SetCursorPos(ImVec2(kConfigGroupX, kGroupTop));
  ImGui::BeginChild("##configuration",
                    ImVec2(ImGui::GetWindowWidth() - kConfigGroupX - kMargin, kGroupHeight), true,
                    ImGuiWindowFlags_NoScrollbar);
  ImGui::TextUnformatted("Configuration mode");
  Place("Configuration mode");
  const char* const names[] = {"Auto", "Simple", "Advanced"};
  for (int i = 0; i < 3; ++i) {
    if (ImGui::RadioButton(names[i], mode == i)) model.SetConfigurationMode(i);
    Place(names[i]);
  }
  ImGui::EndChild();
}

DSettingsView::Action DSettingsView::Buttons(bool canShoot) {
  Action action = Action::kNone;
  ImGui::SetCursorPos(ImVec2(kMargin, kShootTop));
  ImGui::BeginDisabled(!canShoot);
  if (ImGui::Button("Shoot", ImVec2(kButtonWidth, 0))) action = Action::kShoot;
  Place("Shoot");
  ImGui::EndDisabled();

  const struct {
    const char* text;
    Action action;
  } buttons[] = {{"OK", Action::kOk}, {"Cancel", Action::kCancel}, {"Apply", Action::kApply}};
  const float spacing = ImGui::GetStyle().ItemSpacing.x;
  const float bottom = ImGui::GetWindowHeight() - kMargin - ImGui::GetFrameHeight();
  float x = ImGui::GetWindowWidth() - kMargin - 3 * kButtonWidth - 2 * spacing;
  for (const auto& button : buttons) {
    ImGui::SetCursorPos(ImVec2(x, bottom));
    if (ImGui::Button(button.text, ImVec2(kButtonWidth, 0))) action = button.action;
    Place(button.text);
    x += kButtonWidth + spacing;
  }
  return action;
}
