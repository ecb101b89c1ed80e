// qibo host [--port N] and qibo join [ADDRESS]: a small shared scene to try
// networking with two terminals. Each copy owns one box that it moves on a
// circle and streams to the others 20 times a second; every copy prints
// where all boxes are once a second, and with --view shows them through
// the render device. Ends on a key, Ctrl+C or SIGTERM (or after --seconds).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/devices/CTNetwork.h"
#include "core/devices/DefNetworkManager.h"
#include "core/devices/NetworkApi.h"
#include "core/geometry/CTBox.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/ConsoleInput.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/StopSignals.h"
#include "core/render/CTBasicSpectator.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTGroup.h"
#include "core/scene/CTLight.h"
#include "demo/CTWinTimer.h"
#include "tools/qibo/Commands.h"

namespace qibo::tool {

namespace {

constexpr int32_t kSendEveryMs = 50;
constexpr int32_t kPrintEveryMs = 1000;
constexpr int32_t kFindForMs = 3000;   // looking for a session
constexpr int32_t kJoinForMs = 10000;  // waiting for the host to take us in
constexpr double kQuietMs = 2000;      // a copy unchanged this long has left
constexpr double kRadius = 3.0;
constexpr auto kFramePause = std::chrono::milliseconds(10);

struct Options {
  int port = 0;  // 0: the device's "Port" setting; -1: any free port
  const char* address = nullptr;
  bool view = false;
  double seconds = 0;  // 0: until stopped
};

// Reads the options after the verb; false on anything it does not know.
bool ParseOptions(int argc, char** argv, bool hosting, Options& options) {
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (strcmp(arg, "--view") == 0) {
      options.view = true;
    } else if (strcmp(arg, "--seconds") == 0 && hasValue) {
      options.seconds = atof(argv[++i]);
    } else if (hosting && strcmp(arg, "--port") == 0 && hasValue) {
      char* end = nullptr;
      const long port = strtol(argv[++i], &end, 10);
      if (!end || *end || port < 0 || port > 65535) return false;
      options.port = port == 0 ? -1 : static_cast<int>(port);
    } else if (!hosting && arg[0] != '-' && !options.address) {
      options.address = arg;
    } else {
      return false;
    }
  }
  return true;
}

bool StopRequested() { return qibo::KeyHit() || qibo::StopSignalReceived() != 0; }

// One frame of the engine, paced so that a copy without a window does not
// run flat out.
int32_t RunFrame() {
  const int32_t elapsed = qiBO_DoFrame();
  std::this_thread::sleep_for(kFramePause);
  return elapsed;
}

// The boxes of every copy: this copy's own, moved and sent, and the copies
// of the others' as they arrive.
class SharedScene {
 public:
  SharedScene(DefNetworkManager* network, const Options& options) : m_network(network), m_options(options) {}
  ~SharedScene() {
    if (m_spectator) m_spectator->UnregisterWithService();
  }

  bool Build() {
    m_shape = qibo::Create<CTBox>();
    m_own = qibo::Create<CTDrawable>();
    if (!m_shape || !m_own) return false;
    m_shape->SetDimensions(1.0);
    const std::string name = std::string(m_network->GetPropertyByName("ClientName").ToString().c_str()) +
                             " (client " + std::to_string(m_network->GetClientID()) + ")";
    m_own->SetName(name.c_str());
    m_own->SetShape(m_shape.Get());
    m_own->SetNetID(0xFFFFFFFFu);
    if (m_options.view) BuildView();
    return true;
  }

  // Moves this copy's box and sends it; updates the view; prints once a
  // second. False when the session is over or the window was closed.
  bool Step(int32_t elapsed) {
    m_time += elapsed;
    const double phase = m_network->GetClientID() * 2.0943951023931953;  // a third of a turn apart
    const double angle = m_time / 1000.0 * 0.8 + phase;
    m_own->MoveTo(Vector3(kRadius * std::cos(angle), kRadius * std::sin(angle), 0.0));
    if ((m_sinceSend += elapsed) >= kSendEveryMs) {
      m_sinceSend = 0;
      m_network->SendNetworkStream(m_own.Get(), DefNetworkManager::kStreamLevel);
    }
    if (m_spectator) UpdateView();
    if ((m_sincePrint += elapsed) >= kPrintEveryMs) {
      m_sincePrint = 0;
      Print();
    }
    return m_network->IsNetworkGame() && (!m_spectator || m_spectator->IsEnabled());
  }

 private:
  // The boxes in play: this copy's own, and the copies that still change
  // (the table keeps the copies of those who left).
  std::vector<CTDrawable*> Boxes() {
    std::vector<CTDrawable*> boxes;
    for (int i = 0; i < m_network->GetObjectCount(); ++i) {
      auto* box = qibo::Cast<CTDrawable>(m_network->GetObjectNo(i));
      if (!box) continue;
      Seen& seen = m_seen[box->GetNetID()];
      if (!seen.known || seen.lastChange != box->LastChange()) seen = {true, box->LastChange(), m_time};
      if (box == m_own.Get() || m_time - seen.at < kQuietMs) boxes.push_back(box);
    }
    return boxes;
  }

  void Print() {
    printf("[%5.0f s]\n", m_time / 1000.0);
    for (CTDrawable* box : Boxes()) {
      const Vector3 p = box->GetTransform().GetPosition();
      printf("  %-40s at (%6.2f, %6.2f, %6.2f)\n", Printable(box->GetName()).c_str(), p.x, p.y, p.z);
    }
    fflush(stdout);
  }

  void BuildView() {
    if (!LoadToolPlugIn("RasterDev.plug")) {
      fprintf(stderr, "qibo: the render device plug-in RasterDev.plug is missing; no view\n");
      return;
    }
    m_world = qibo::Create<CTGroup>();
    m_spectator = qibo::Create<CTBasicSpectator>();
    if (!m_world || !m_spectator) return;
    m_world->SetName("Shared world");
    auto* cameraGroup = new CTGroup("Camera group", m_world.Get());
    auto* camera = new CTCamera("Camera", cameraGroup);
    camera->MoveBack(12.0);
    new CTLight("Light", m_world.Get());
    m_spectator->SetCamera(camera);
    m_spectator->UseVideo(true);
    m_spectator->Enable();
    m_spectator->RegisterWithService();
  }

  // Each box in the network table has a stand-in in the world at its place.
  void UpdateView() {
    std::map<uint32_t, Ref<CTDrawable>> seen;
    for (CTDrawable* box : Boxes()) {
      auto known = m_markers.find(box->GetNetID());
      Ref<CTDrawable> marker = known != m_markers.end()
                                   ? known->second
                                   : Ref<CTDrawable>(new CTDrawable(box->GetName(), m_world.Get()));
      marker->SetShape(m_shape.Get());
      marker->MoveTo(box->GetTransform().GetPosition());
      seen.emplace(box->GetNetID(), marker);
    }
    for (auto& [id, marker] : m_markers)
      if (!seen.count(id)) marker->SetParent(nullptr);
    m_markers.swap(seen);
  }

  DefNetworkManager* m_network;
  Options m_options;
  Ref<CTBox> m_shape;
  Ref<CTDrawable> m_own;
  double m_time = 0;
  int32_t m_sinceSend = kSendEveryMs;
  int32_t m_sincePrint = 0;
  Ref<CTGroup> m_world;
  Ref<CTBasicSpectator> m_spectator;
  std::map<uint32_t, Ref<CTDrawable>> m_markers;  // by the network ID of the box they show
  struct Seen {
    bool known;
    uint32_t lastChange;  // the box's last change frame
    double at;            // when it was seen to change, in ms of the scene
  };
  std::map<uint32_t, Seen> m_seen;
};

// The network manager with its device plug-in loaded and a clock for the
// frames; null (with the reason printed) when networking cannot run.
DefNetworkManager* StartNetworking(const char* verb) {
  qiBO_RegisterClass(CTWinTimer::_CD());
  if (!LoadToolPlugIn("qiboNet.plug")) {
    fprintf(stderr, "qibo %s: the networking plug-in qiboNet.plug is missing\n", verb);
    return nullptr;
  }
  auto* network = qibo::Cast<DefNetworkManager>(qibo::GetService<CTNetworkManager>());
  if (!network || !network->GetNetworkDevice()) {
    fprintf(stderr, "qibo %s: no networking device can be started\n", verb);
    return nullptr;
  }
  return network;
}

// The shared scene until the user stops it or the session ends.
int RunScene(DefNetworkManager* network, const Options& options, const char* verb) {
  SharedScene scene(network, options);
  if (!scene.Build()) {
    fprintf(stderr, "qibo %s: the scene cannot be made\n", verb);
    return 1;
  }
  printf("Press a key to stop\n");
  fflush(stdout);
  double elapsed = 0;
  bool going = true;
  while (going && !StopRequested() && (options.seconds <= 0 || elapsed < options.seconds * 1000.0)) {
    const int32_t frame = RunFrame();
    elapsed += frame;
    going = scene.Step(frame);
  }
  if (!network->IsNetworkGame()) {
    fprintf(stderr, "qibo %s: %s\n", verb, Printable(network->LastErrorMsg().c_str()).c_str());
    return 1;
  }
  network->CloseSession();
  return 0;
}

}  // namespace

int Host(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, true, options)) return 2;
  DefNetworkManager* network = StartNetworking("host");
  if (!network) return 1;
  if (!network->HostSession(options.port)) {
    fprintf(stderr, "qibo host: %s\n", Printable(network->LastErrorMsg().c_str()).c_str());
    return 1;
  }
  const int port = network->GetNetworkDevice()->GetPropertyByName("SessionPort").ToInt();
  printf("Hosting \"%s\" on port %d\n",
         Printable(network->GetPropertyByName("SessionName").ToString().c_str()).c_str(), port);
  return RunScene(network, options, "host");
}

int Join(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, false, options)) return 2;
  DefNetworkManager* network = StartNetworking("join");
  if (!network) return 1;
  CTNetwork* device = network->GetNetworkDevice();
  const bool asked = options.address
                         ? device->QuerySession(DefNetworkManager::kApplicationId, options.address)
                         : network->EnumSessions() >= 0;
  if (!asked) {
    fprintf(stderr, "qibo join: cannot look for a session at %s\n", Printable(options.address).c_str());
    return 1;
  }
  for (int waited = 0; network->GetSessionCount() == 0 && waited < kFindForMs && !StopRequested();)
    waited += RunFrame() + static_cast<int>(kFramePause.count());
  if (network->GetSessionCount() == 0) {
    fprintf(stderr, "qibo join: no session found%s%s\n", options.address ? " at " : " on the LAN",
            options.address ? Printable(options.address).c_str() : "");
    return 1;
  }
  char name[256] = {};
  int copies = 0, capacity = 0;
  network->GetSessionInfo(0, name, &copies, &capacity);
  printf("Joining \"%s\" (%d of %d copies)\n", Printable(name).c_str(), copies, capacity);
  if (!network->JoinSession(0)) {
    fprintf(stderr, "qibo join: %s\n", Printable(network->LastErrorMsg().c_str()).c_str());
    return 1;
  }
  for (int waited = 0; network->IsNetworkGame() && network->GetClientID() == DefNetworkManager::kNoClient &&
                       waited < kJoinForMs && !StopRequested();)
    waited += RunFrame() + static_cast<int>(kFramePause.count());
  if (network->GetClientID() == DefNetworkManager::kNoClient) {
    fprintf(stderr, "qibo join: the host did not take us in\n");
    return 1;
  }
  printf("Joined as client %d\n", network->GetClientID());
  return RunScene(network, options, "join");
}

}  // namespace qibo::tool
