#ifndef OSTREL_UPDATE_DIRECTIVELIST_H
#define OSTREL_UPDATE_DIRECTIVELIST_H

/// The texts of a run of directives, kept end to end in one buffer: a large
/// output makes a million directives, and one allocation each (with the
/// fresh memory they touch) was most of the time spent writing them.

#include "support/fs/TextRef.h"

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

namespace ostrel {

class DirectiveList {
public:
  /// Walks the texts in order; each is a view into the list.
  class Iterator {
  public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = TextRef;
    using difference_type = std::ptrdiff_t;
    using pointer = const TextRef *;
    using reference = TextRef;

    Iterator() = default;
    Iterator(const DirectiveList *list, size_t index) : list(list), index(index) {}
    TextRef operator*() const { return (*list)[index]; }
    Iterator &operator++() {
      ++index;
      return *this;
    }
    Iterator operator++(int) { return Iterator(list, index++); }
    bool operator==(const Iterator &other) const { return index == other.index; }

  private:
    const DirectiveList *list = nullptr;
    size_t index = 0;
  };

  DirectiveList() = default;
  DirectiveList(std::initializer_list<TextRef> directives);
  DirectiveList(const std::vector<std::string> &directives);

  /// Adds a directive.
  void push_back(TextRef directive);
  /// Adds a directive made of `parts`, one after the other.
  void append(std::initializer_list<TextRef> parts);

  size_t size() const { return ends.size(); }
  bool empty() const { return ends.empty(); }
  /// The text of directive `index`, valid until the next one is added.
  TextRef operator[](size_t index) const {
    size_t start = index == 0 ? 0 : ends[index - 1];
    return TextRef(buffer).substr(start, ends[index] - start);
  }
  TextRef back() const { return (*this)[size() - 1]; }
  /// The bytes of all texts together.
  size_t bytes() const { return buffer.size(); }

  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, size()); }

private:
  std::string buffer;
  /// Where each text ends in `buffer`.
  std::vector<size_t> ends;
};

} // namespace ostrel

#endif
