#pragma once
// The two spawn hooks: every structure and every item container the game
// spawns passes through here.

#include <string>

#include "announce/Announcement.h"
#include "announce/Calm.h"

struct APrimalStructure;
struct APrimalStructureItemContainer;
struct FVector;
struct FRotator;
struct AActor;
struct APawn;
struct FString;

using StructurePostSpawnFunction = void(APrimalStructure*, FVector*, FRotator*, AActor*, APawn*, bool, bool, bool,
                                        bool);
using ItemContainerPostSpawnFunction = void(APrimalStructureItemContainer*);

// The game's own functions, filled by the host when the hooks are installed.
extern StructurePostSpawnFunction* StructurePostSpawnOriginal;
extern ItemContainerPostSpawnFunction* ItemContainerPostSpawnOriginal;

// The asteroid code of the last asteroid announcement.
extern std::string LastAsteroidCode;

// The steps every announcement that goes out passes, in this order: delivered
// to the players, relayed when its group is, then counted.
void SendOut(const Announcement& announcement);
// The digest of the spawns an entry's cooldown held, sent out as its
// announcements are.
void AnnounceHeld(const HeldSpawns& held);

// Which of the hunted kinds' fragments an object's name holds, case ignored.
struct NameFragments {
    bool hunted = false;      // any of "SupplyCrate", "ElementNode", "ArtifactCrate", "Nest_C", "BeaverDam"
    bool nest = false;        // "Nest_C" among them
    bool spaceCrate = false;  // "SupplyCrate_Space_" in it: an asteroid crate on Gen2
};
NameFragments FindFragments(const FString& name);

void StructurePostSpawnDetour(APrimalStructure* structure, FVector* location, FRotator* rotation, AActor* owner,
                              APawn* instigator, bool isFromLoad, bool isFromPlacement, bool skipInit,
                              bool isReplicated);
void ItemContainerPostSpawnDetour(APrimalStructureItemContainer* container);
