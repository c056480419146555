// Reading one raw database page: what it is (the role the map keeps), and for the pages whose
// content the map uses beyond the role, that content: the free pages a page inventory marks
// and the data pages a pointer page lists. Pure functions over bytes, a few nanoseconds a page.
#pragma once

#include <cstdint>
#include <vector>

#include "pages/page_role.h"

// The role of page number `number`, whose page_size bytes start at page. A page whose own
// number (kept in its header) is not `number` is Unknown: it belongs to no known place.
PageRole ClassifyPage(const uint8_t* page, uint32_t page_size, uint32_t number);

// How many pages one page inventory page covers.
uint32_t PagesPerInventory(uint32_t page_size);
// True when page `number` is a page inventory page by its position.
bool IsInventoryPosition(uint32_t number, uint32_t page_size);
// The first page that inventory page `number` covers.
uint32_t FirstPageOfInventory(uint32_t number);

// The runs of pages that the inventory page `number` marks free, in ascending order, limited to
// the pages below page_count.
std::vector<PageSpan> FreeRuns(const uint8_t* inventory, uint32_t page_size, uint32_t number,
                               uint32_t page_count);

// The data pages that a pointer page lists, in slot order; none for an encrypted page or a page
// of another type.
std::vector<uint32_t> ListedDataPages(const uint8_t* pointer_page, uint32_t page_size);
