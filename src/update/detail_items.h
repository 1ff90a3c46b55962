// The item routines of the detail-function synchronisation: each writes one
// item (a Dictionary describing one detail function or sub-function) on the
// call's connection. RefreshDetailFunc, CreateDetailFunc and CreateSubFunc
// use them, and so does the refresh of a subsystem's functions.
//
// Common contract:
// - They work inside the caller's write frame (update/write_frame.h) and
//   raise a ComError on any failure; the frame's transaction then undoes
//   whatever the routine wrote, so a failed item leaves nothing behind.
// - Values are bound, never spliced into SQL text; texts are stored exactly
//   as given, quotes included. A Null text reads as empty text.
// - Numbers read from the item ("FDetailFuncID", "FSubFuncID", "FFuncType")
//   follow CLng (13 for text that is not a number, 6 beyond 32 bits, 94 for
//   Null); flags follow CBool (a Null flag is false). IDs made from an index
//   overflow with error 6 rather than wrap.
// - They bump no stamp of the caller: the caller bumps once, after its last
//   item, for every scope the items wrote (the template's or the caller's).
//   The one exception is named at SyncNamedItem.
// - U, the overlay user, is always the request's user (parse.UserID()),
//   read only where a statement uses it.
#ifndef LXM_UPDATE_DETAIL_ITEMS_H_
#define LXM_UPDATE_DETAIL_ITEMS_H_

#include <cstdint>

#include "platform/dictionary.h"
#include "update/write_frame.h"

namespace lxm::detail_items {

// The sub-function whose detail functions are told apart by class parameter
// and numbered from the greatest existing ID.
inline constexpr int32_t kClassParamSubFunc = 600201;
// Its replaceable range: above the first, up to and including the last.
inline constexpr int32_t kLastFixedClassParamID = 60020107;
inline constexpr int32_t kLastClassParamID = 60020198;
// Detail functions a user created have IDs from here on.
inline constexpr int32_t kFirstUserDetailID = 1000000000;

// `entry` as an item; error 13 when it is not a Dictionary (or is Nothing).
const Dictionary& AsItem(const Variant& entry);

// Sets FVisible and/or FEnable of the template row "FDetailFuncID" (whatever
// the caller's mode: flags live in the template). When "FVisible" is given,
// the function's flow-chart nodes take its account-type list when shown and
// ",0," when hidden. An item with neither key fails (error 5).
void UpdateDetailFlags(const WriteRequest& request, const Dictionary& item);

// Inserts one detail function under `sub_func_id` at `index`, matched by
// name. Its ID: "FDetailFuncID" when not 0; else the ID of the template row
// of that sub-function with the same name in the request's language column
// (FFuncName, FFuncName_CHT or FFuncName_EN; names compare without regard
// to letter case); else sub_func_id * 100 + index.
//
// Template mode inserts the template row. Under sub-function 600201 it also
// moves every user's row with the item's class parameter to the new ID and
// touches every stamp row (the only stamps an item routine touches).
//
// Overlay mode inserts U's row. When the match came from U's own row and
// that row is marked (negative ID, during a synchronisation), the favourites
// that pointed at it follow to the new ID. Under 600201, U's rows with the
// item's class parameter take the template's names.
//
// Returns the ID inserted. Fails when that ID exists already (the row is the
// table's key).
int32_t SyncNamedItem(const WriteRequest& request, int32_t sub_func_id, int32_t index, const Dictionary& item,
                      bool template_mode);

// Inserts or keeps one detail function of sub-function 600201, matched by
// class parameter ("FClassParam").
//
// Template mode looks among template rows only, marked or not: the row with
// the absolute ID "FDetailFuncID" when that is not 0, else the sub-function's
// row with the same class parameter. A row found is kept under its ID and
// unmarked; when its class parameter, read as a number, exceeds 3000 (text
// that is not a number fails with 13), it takes the item's names. No row
// found: a new row is inserted under "FDetailFuncID", or else under one more
// than the greatest absolute ID among the sub-function's template rows up to
// 60020198.
//
// Overlay mode looks among template rows first, then U's rows; U's row is
// (re)inserted under the ID found (absolute) or made as above, and U's rows
// of that class parameter take the template's names.
//
// A made ID above 60020198 fails the item (error 11, source
// ":SyncClassParamItem"); a sub-function without any template row up to
// 60020198 cannot make one and fails (94). Returns the ID kept or inserted.
int32_t SyncClassParamItem(const WriteRequest& request, int32_t sub_func_id, int32_t index, const Dictionary& item,
                           bool template_mode);

// Inserts one sub-function under `sub_system_id` at `index`: ID
// "FSubFuncID" when not 0, else sub_system_id * 100 + index. "FFuncName" and
// "FFuncName_CHT" keep their first 50 characters; "FFuncName_En" is whole.
// Template mode writes the template row; overlay mode U's row (names,
// visibility and index only). Returns the new ID; fails when it exists.
int32_t InsertSubFunc(const WriteRequest& request, int32_t sub_system_id, int32_t index, const Dictionary& item,
                      bool template_mode);

}  // namespace lxm::detail_items

#endif  // LXM_UPDATE_DETAIL_ITEMS_H_
