#include "render/pdf/pdf_layers.h"

#include "render/pdf/pdf_units.h"

namespace kelvane::pdf {

namespace {

std::string Hex(size_t v) { return std::string(1, "0123456789ABCDEF"[v & 15]); }

// "0-2 躯体": the layer's number, and its name when it has one.
std::string Named(const std::string& number, const std::vector<JwwString>& names, size_t k) {
  const std::string name = k < names.size() ? ToUtf8(names[k]) : std::string();
  return name.empty() ? number : number + " " + name;
}

}  // namespace

const std::string& DocumentLayers::MarksFor(uint16_t code, const std::vector<JwwString>& names) {
  const size_t group = code / 16, layer = code % 16;
  const std::string groupName = Named(Hex(group), names, group);
  const std::string layerName = Named(Hex(group) + "-" + Hex(layer), names, 16 + size_t(code));
  Group& g = groups_[{group, groupName}];
  if (g.object == 0) {
    g.object = writer_.Allocate(), g.name = groupName, g.resource = "/OC" + std::to_string(++count_);
    order_.push_back({group, groupName});
  }
  Layer& l = g.layers[{layer, layerName}];
  if (l.object == 0) {
    l.object = writer_.Allocate();
    l.name = layerName;
    l.resource = "/OC" + std::to_string(++count_);
    l.marks = "/OC " + g.resource + " BDC /OC " + l.resource + " BDC\n";
    g.order.push_back({layer, layerName});
  }
  return l.marks;
}

std::string DocumentLayers::ResourceEntries() const {
  std::string entries;
  for (const auto& [key, g] : groups_) {
    entries += g.resource + " " + Ref(g.object);
    for (const auto& [lkey, l] : g.layers) entries += l.resource + " " + Ref(l.object);
  }
  return entries;
}

std::string DocumentLayers::Write() {
  std::string all, order;
  for (const auto& gkey : order_) {
    Group& g = groups_[gkey];
    WriteGroup(g.object, g.name);
    all += Ref(g.object) + " ";
    order += Ref(g.object) + "[";
    for (const auto& lkey : g.order) {
      const Layer& l = g.layers[lkey];
      WriteGroup(l.object, l.name);
      all += Ref(l.object) + " ";
      order += Ref(l.object) + " ";
    }
    order += "]";
  }
  return "/OCProperties<</OCGs[" + all + "]/D<</Order[" + order + "]/BaseState/ON>>>>";
}

void DocumentLayers::WriteGroup(int object, const std::string& name) {
  std::string body = "<</Type/OCG/Name";
  AppendTextString(body, name);
  writer_.WritePacked(object, body + ">>");  // shown and printed: the default configuration's base state
}

}  // namespace kelvane::pdf
