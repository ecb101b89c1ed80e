#include <gtest/gtest.h>

#include <string>

#include "core/object/CTNamed.h"

namespace {

// Registers with an imaginary service that may refuse to let go.
class Registrant : public CTNamed {
 public:
  using CTNamed::CTNamed;
  bool DoRegisterWithService() override { return ++registrations > 0; }
  bool DoUnregisterWithService() override {
    ++unregistrations;
    return allowUnregister;
  }
  int registrations = 0;
  int unregistrations = 0;
  bool allowUnregister = true;
};

}  // namespace

TEST(CTNamedTest, NameIsCopiedAndCut) {
  CTNamed unnamed(nullptr);
  EXPECT_STREQ(unnamed.GetName(), "");
  const std::string longName(300, 'n');
  CTNamed named(longName.c_str());
  EXPECT_EQ(std::string(named.GetName()), longName.substr(0, 255));
}

TEST(CTNamedTest, RenameMessage) {
  CTNamed object("old");
  char name[] = "abc";
  object.OnMessage(kMsgRename, name);
  EXPECT_STREQ(object.GetName(), "abc");
  object.OnMessage(kMsgRename + 1, const_cast<char*>("ignored"));
  object.OnMessage(kMsgRename, nullptr);
  EXPECT_STREQ(object.GetName(), "abc");
}

TEST(CTNamedTest, HasChangedSinceSurvivesWrapAround) {
  CTNamed object;
  object.Invalidate();  // no engine: frame 0
  EXPECT_EQ(object.LastChange(), 0u);
  EXPECT_FALSE(object.HasChangedSince(0));
  EXPECT_TRUE(object.HasChangedSince(0xFFFFFFFFu));  // frame -1 is before frame 0
  EXPECT_FALSE(object.HasChangedSince(1));
}

TEST(CTNamedTest, RegistrationFollowsTheService) {
  Registrant object("r");
  EXPECT_TRUE(object.RegisterWithService());
  EXPECT_TRUE(object.IsRegistered());
  EXPECT_FALSE(object.RegisterWithService());  // already registered
  EXPECT_EQ(object.registrations, 1);
  object.allowUnregister = false;
  EXPECT_FALSE(object.UnregisterWithService());
  EXPECT_TRUE(object.IsRegistered());
  object.allowUnregister = true;
  EXPECT_TRUE(object.UnregisterWithService());
  EXPECT_FALSE(object.UnregisterWithService());
  EXPECT_EQ(object.unregistrations, 2);
}

TEST(CTNamedTest, CopyIsNotRegistered) {
  Registrant object("original");
  object.RegisterWithService();
  Registrant copy(object);
  EXPECT_FALSE(copy.IsRegistered());
  EXPECT_STREQ(copy.GetName(), "original");
  object.UnregisterWithService();
}

TEST(CTNamedTest, DeleteUnregistersFirst) {
  struct Tracked : public Registrant {
    int* unregistered;
    explicit Tracked(int* counter) : unregistered(counter) {}
    bool DoUnregisterWithService() override {
      ++*unregistered;
      return true;
    }
  };
  int count = 0;
  auto* object = new Tracked(&count);
  object->RegisterWithService();
  object->Delete();
  EXPECT_EQ(count, 1);
}
