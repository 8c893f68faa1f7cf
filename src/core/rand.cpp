// Random numbers.
#include "core/rand.h"

#include <cstdint>

// Generated once, offline, with splitmix64 (high 32 bits of each output) and
// written here so that every build and every machine reads the same numbers.
// All 140 values differ.
static const uint32_t s_Table[RAND_TABLESIZE] = {
    0x5DEDBCDEu, 0xF77BC7F7u, 0x22866BB5u, 0x2CE0EB03u, 0x98474789u, 0x37C88D61u, 0x8196581Du,
    0x4C455A68u, 0x02FCEEB6u, 0xF01F6C4Du, 0xAFF5C505u, 0x8FBD50B2u, 0x9016D4AAu, 0x8435BE84u,
    0xD567D8D8u, 0x4CD5C81Cu, 0x316C5AFCu, 0xD5CBC8A3u, 0x3CF1FF45u, 0xA06BE90Au, 0x3873F0DDu,
    0x4E327D75u, 0xAAE0A46Fu, 0xB6739ADAu, 0x9D9E8462u, 0x3570B6A4u, 0xE00DA1DEu, 0x728130A0u,
    0x374028A6u, 0x5A1EC370u, 0x7EB61320u, 0x91B34E47u, 0xEDA03AB3u, 0xA79357BDu, 0x7BC84F0Du,
    0x1DEBD388u, 0xF5B54594u, 0x51BF4EA5u, 0x1C3B043Fu, 0xEE21EFE5u, 0xC7F906EDu, 0x65F49198u,
    0x2EFE137Eu, 0x4517737Eu, 0x56782B8Fu, 0x9E3A9BCBu, 0x90F426ECu, 0xEF134837u, 0xC1FF4890u,
    0x10214266u, 0x83F4EF0Cu, 0x61BDC107u, 0x811C638Fu, 0xD343A712u, 0x0DA2E270u, 0xD37F8F64u,
    0xE4D62ABEu, 0x0BBD96C4u, 0xFC1A2CD8u, 0x75C67859u, 0x4B8019B4u, 0xC7D36E33u, 0x5C3D1575u,
    0x2877DC9Bu, 0x07AE9323u, 0x2B15B13Cu, 0x84094C61u, 0xC48B6EA8u, 0x57065002u, 0x2A2221D4u,
    0xC6093F38u, 0x1E4E30BCu, 0x0A812001u, 0xA44A83E4u, 0x0F18BFB0u, 0x4E5F738Au, 0xB1E02FB5u,
    0x9E49001Fu, 0xD400308Eu, 0xC1790032u, 0x81618546u, 0xFDC972D7u, 0x2519174Eu, 0xA874758Bu,
    0xEADEF549u, 0x7A3ABDA3u, 0x9D8EA172u, 0x3B35131Au, 0xB50F9C47u, 0xECE17776u, 0x90FB2D0Bu,
    0x0349F117u, 0xA37A424Du, 0x81E2CB63u, 0x59D641A0u, 0x7FCC4F60u, 0x246F6108u, 0xAB27AE56u,
    0x2B962611u, 0xC092F10Fu, 0x8E8D87E6u, 0xA2CE919Au, 0x7DE69EA6u, 0x5BC65DDCu, 0xFF2E6582u,
    0x2B5621B3u, 0xE01A11DCu, 0x93850A2Eu, 0x2C0143BFu, 0x1C8393A8u, 0x5B172520u, 0x2EB23688u,
    0x9249DFBDu, 0x7538FABCu, 0x6C405A65u, 0xDDADDC10u, 0xE5D9729Fu, 0x24B966D6u, 0x34DE45F7u,
    0xF30B820Bu, 0xD67F0570u, 0xB3FF7B6Bu, 0xC2AC5430u, 0xFE2D1E41u, 0x08A10697u, 0xDEBA1E9Cu,
    0x6DF6F613u, 0x3992E308u, 0x5243A83Fu, 0xEBC2CC8Bu, 0x7DFF68D2u, 0x7E9FA961u, 0x7EA65FAEu,
    0xE419EF35u, 0x535469B7u, 0x87AA4AE3u, 0xFB02328Cu, 0x87C2E102u, 0xE9E9256Fu, 0x3A230AC1u,
};

static int32_t s_SyncPos = 0;
static int32_t s_LocalPos = 0;
static uint32_t s_CrtState = 1;

static int32_t rand_Normalise(int32_t position)
{
    int32_t p = position % RAND_TABLESIZE;
    return p < 0 ? p + RAND_TABLESIZE : p;
}

static int32_t rand_Draw(int32_t* position, int32_t range)
{
    if (range <= 0) return 0;
    int32_t value = (int32_t)(s_Table[*position] % (uint32_t)range);
    *position = (*position + 1) % RAND_TABLESIZE;
    return value;
}

int32_t Rand_Next(int32_t range)
{
    return rand_Draw(&s_SyncPos, range);
}

int32_t Rand_NextLocal(int32_t range)
{
    return rand_Draw(&s_LocalPos, range);
}

int32_t Rand_GetPosition(void)
{
    return s_SyncPos;
}

void Rand_SetPosition(int32_t position)
{
    s_SyncPos = rand_Normalise(position);
}

int32_t Rand_GetLocalPosition(void)
{
    return s_LocalPos;
}

void Rand_SetLocalPosition(int32_t position)
{
    s_LocalPos = rand_Normalise(position);
}

void Rand_Reset(int32_t localstart)
{
    s_SyncPos = 0;
    s_LocalPos = rand_Normalise(localstart);
}

void Crt_Srand(uint32_t seed)
{
    s_CrtState = seed;
}

int32_t Crt_Rand(void)
{
    s_CrtState = s_CrtState * 214013u + 2531011u;
    return (int32_t)((s_CrtState >> 16) & 0x7FFFu);
}
