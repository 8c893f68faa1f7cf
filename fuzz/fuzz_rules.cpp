// The combat rule files' loaders over arbitrary text: the first byte picks
// the animation file, the damage table or the weapon file. Each run starts
// from empty tables, so limits are reached only by the input itself.
#include <cstdint>
#include <cstdio>

#include "core/tfparse.h"
#include "fuzzsupport.h"
#include "platform/animtype.h"
#include "platform/sprite.h"
#include "units/damage.h"
#include "units/expltype.h"
#include "units/weapon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    int which = data[0] % 3;
    const char* path = QvFuzz_WriteTemp(".txt", data + 1, size - 1);
    if (!path) return 0;
    QV_FUZZ_GUARD({
        switch (which) {
        case 0: Tfweapon_Load(path); break;
        case 1: Tfweapon_LoadDamageFile(path); break;
        default: Tfweapon_LoadWeaponFile(path); break;
        }
    });
    Weapon_FreeAll();
    Damage_FreeAll();
    ExplType_FreeAll();
    AnimType_FreeAll();
    Sprite_FreeAll();
    return 0;
}
