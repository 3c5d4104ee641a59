// Entries of the served tables that a plug-in has no business calling. A host
// fills every slot of every table it hands out; these fill the slots it does
// not serve. Each trap has the entry's own type, records "unexpected call to
// <table>.<entry>" with the host whose command is running (so the audit after
// the command fails), and answers with an error code, null or NaN.
#pragma once

#include <cstddef>
#include <limits>
#include <type_traits>

#include "host/ae_effect.h"

namespace minihost {

// Records the call with the current host; outside any command it stops the
// program, since nobody would see the finding.
void ReportUnexpectedCall(const char* table, const char* entry);

// A name usable as a template argument.
template <std::size_t N>
struct EntryName {
  constexpr EntryName(const char (&text)[N]) {  // NOLINT: implicit on purpose
    for (std::size_t i = 0; i < N; ++i) value[i] = text[i];
  }
  char value[N];
};

namespace detail {

template <class R>
R TrapResult() {
  if constexpr (std::is_void_v<R>) {
    return;
  } else if constexpr (std::is_pointer_v<R>) {
    return nullptr;
  } else if constexpr (std::is_floating_point_v<R>) {
    return std::numeric_limits<R>::quiet_NaN();
  } else {
    return static_cast<R>(PF_Err_INVALID_CALLBACK);
  }
}

template <EntryName Table, EntryName Entry, class R, class... A>
R Trap(A...) {
  ReportUnexpectedCall(Table.value, Entry.value);
  return TrapResult<R>();
}

template <EntryName Table, EntryName Entry, class R, class... A>
R TrapVariadic(A..., ...) {
  ReportUnexpectedCall(Table.value, Entry.value);
  return TrapResult<R>();
}

template <EntryName Table, EntryName Entry, class R, class... A>
constexpr auto TrapFor(R (*)(A...)) -> R (*)(A...) {
  return &Trap<Table, Entry, R, A...>;
}

template <EntryName Table, EntryName Entry, class R, class... A>
constexpr auto TrapFor(R (*)(A..., ...)) -> R (*)(A..., ...) {
  return &TrapVariadic<Table, Entry, R, A...>;
}

}  // namespace detail
}  // namespace minihost

// The trap for `Table::entry`, of that entry's type.
#define MINIHOST_TRAP(Table, entry) \
  ::minihost::detail::TrapFor<#Table, #entry>(decltype(Table::entry){})
