#pragma once

#include <string>
#include <vector>

class DSettingsModel;

// Draws the settings page of a DSettingsModel with Dear ImGui and turns
// the user's input into the model's choices: the three lists of the
// adapter, the "Display mode" and "Configuration mode" groups, "Shoot",
// and the page's OK, Cancel and Apply buttons. Disabled controls follow
// the model's enabling.
//
// Draw is called once per frame between ImGui::NewFrame and ImGui::Render
// with the page's ImGui context current; it fills the whole display.
class DSettingsView {
 public:
  // The page's size in pixels.
  static constexpr int kWidth = 440;
  static constexpr int kHeight = 300;

  enum class Action { kNone, kShoot, kOk, kCancel, kApply };

  // Where a control with a text (label, group, radio button, button) was
  // drawn in the last frame, in pixels from the top left.
  struct Placed {
    std::string text;
    float left, top, right, bottom;
  };

  // Draws one frame of the page; what the user asked for in it. canShoot
  // enables "Shoot" (the device shows something to shoot).
  Action Draw(DSettingsModel& model, bool canShoot);

  const std::vector<Placed>& GetPlaced() const { return m_placed; }
  // The control with that text in the last frame, or null.
  const Placed* Find(const char* text) const;

 private:
  void Lists(DSettingsModel& model);
  void DisplayModeGroup(DSettingsModel& model);
  void ConfigurationGroup(DSettingsModel& model);
  Action Buttons(bool canShoot);
  // Keeps where the last item was drawn, under text.
  void Place(const char* text);
  void Label(const char* text, float x, float y);

  std::vector<Placed> m_placed;
  // The window size as typed, until the edit ends.
  int m_editWidth = 0;
  int m_editHeight = 0;
  bool m_editingWidth = false;
  bool m_editingHeight = false;
};
