// The drawing's layers in a PDF document, as optional content a reader's layer panel switches.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "render/pdf/pdf_document.h"
#include "text/jwwstring.h"

namespace kelvane::pdf {

// The drawing's layer groups and layers that have something on a page, as optional content:
// one group (OCG) per layer group and per layer, a layer's content marked inside its group's, so
// that it shows only while both are on.
class DocumentLayers {
 public:
  explicit DocumentLayers(ObjectWriter& writer) : writer_(writer) {}

  // The marks that open the layer (group · 16 + layer) of a list with these names: its group's,
  // then its own; two EMC close them.
  const std::string& MarksFor(uint16_t code, const std::vector<JwwString>& names);

  bool Empty() const { return groups_.empty(); }

  // "/OC1 12 0 R..." for the resources' /Properties.
  std::string ResourceEntries() const;

  // Writes the groups and answers the catalog's /OCProperties entry: every group on, as printed,
  // each layer group with its layers under it in the reader's panel.
  std::string Write();

 private:
  struct Layer {
    int object = 0;
    std::string name, resource, marks;
  };
  using Key = std::pair<size_t, std::string>;
  struct Group {
    int object = 0;
    std::string name, resource;
    std::map<Key, Layer> layers;
    std::vector<Key> order;
  };

  void WriteGroup(int object, const std::string& name);

  ObjectWriter& writer_;
  std::map<Key, Group> groups_;
  std::vector<Key> order_;  // groups as first met
  int count_ = 0;
};

}  // namespace kelvane::pdf
