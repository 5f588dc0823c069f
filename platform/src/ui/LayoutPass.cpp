// The layout pass: solves the active constraints of a view tree for the frames of the views
// that constraints place. Each axis of each view has four related quantities (leading edge,
// trailing edge, centre, size); any two fix the others. Constraints are propagated until
// nothing changes; then intrinsic content sizes fill in sizes that no constraint fixes (first
// those no constraint ties to another view's size), and propagation resumes. What stays
// unknown keeps the view's current frame.
#include <cmath>
#include <optional>
#include <unordered_map>
#include <vector>

#include "zelvora/platform/ui/LayoutConstraint.h"
#include "zelvora/platform/ui/View.h"

namespace zelvora::platform {
namespace {

struct Axis {
  std::optional<double> lead, trail, center, size;

  bool resolved() const { return lead && size; }
  /// Derives what two known quantities imply.
  void complete() {
    if (!size) {
      if (lead && trail)
        size = *trail - *lead;
      else if (lead && center)
        size = 2 * (*center - *lead);
      else if (trail && center)
        size = 2 * (*trail - *center);
    }
    if (size && !lead) {
      if (trail)
        lead = *trail - *size;
      else if (center)
        lead = *center - *size / 2;
    }
    if (lead && size) {
      trail = *lead + *size;
      center = *lead + *size / 2;
    }
  }
};

struct Node {
  Axis x, y;
};

enum class Space { frame, bounds };

bool horizontal(LayoutAttribute attribute) {
  return attribute == LayoutAttribute::leading || attribute == LayoutAttribute::trailing ||
         attribute == LayoutAttribute::width || attribute == LayoutAttribute::centerX;
}

class Solver {
 public:
  explicit Solver(View& root) {
    Node& node = nodes_[&root];
    fix(node, root.bounds());
    order_.push_back(&root);
    collect(root);
  }

  void solve() {
    while (true) {
      while (propagate()) {
      }
      if (!applyIntrinsicSizes(false) && !applyIntrinsicSizes(true)) break;
    }
    for (auto& [view, node] : nodes_) {
      if (view->translatesAutoresizingMaskIntoConstraints) continue;
      const Rect current = view->frame;
      view->frame = {node.x.lead.value_or(current.x), node.y.lead.value_or(current.y),
                     node.x.size.value_or(current.width), node.y.size.value_or(current.height)};
    }
  }

 private:
  struct Term {
    View* view;
    LayoutAttribute attribute;
    Space space;
  };
  struct Equation {
    Term left;
    std::optional<Term> right;
    double multiplier;
    double constant;
  };

  static void fix(Node& node, Rect rect) {
    node.x.lead = rect.x;
    node.x.size = rect.width;
    node.y.lead = rect.y;
    node.y.size = rect.height;
    node.x.complete();
    node.y.complete();
  }

  void collect(View& view) {
    for (const auto& child : view.subviews()) {
      Node& node = nodes_[child.get()];
      order_.push_back(child.get());
      if (child->translatesAutoresizingMaskIntoConstraints) fix(node, child->frame);
    }
    for (const auto& child : view.subviews()) {
      for (const auto& constraint : child->constraints()) add(*constraint);
      collect(*child);
    }
  }

  void add(const LayoutConstraint& constraint) {
    auto item = constraint.item();
    auto toItem = constraint.toItem();
    if (!item || !nodes_.count(item.get())) return;
    // Read as a constant, a tie to a view that is gone would misplace the item.
    if (constraint.hasToItem() && !toItem) return;
    Equation equation{{item.get(), constraint.attribute(), Space::frame},
                      std::nullopt,
                      constraint.multiplier(),
                      constraint.constant()};
    if (toItem) {
      if (!nodes_.count(toItem.get())) return;
      Space itemSpace = Space::frame, toSpace = Space::frame;
      if (item->superview() == toItem) {
        toSpace = Space::bounds;
      } else if (toItem->superview() == item) {
        itemSpace = Space::bounds;
      } else if (item->superview() != toItem->superview()) {
        return;  // only parent-child and sibling constraints are supported
      }
      equation.left.space = itemSpace;
      equation.right = Term{toItem.get(), constraint.toAttribute(), toSpace};
    }
    equations_.push_back(equation);
  }

  Axis& axisOf(const Term& term) {
    Node& node = nodes_[term.view];
    return horizontal(term.attribute) ? node.x : node.y;
  }

  std::optional<double> value(const Term& term) {
    const Axis& axis = axisOf(term);
    const bool bounds = term.space == Space::bounds;
    switch (term.attribute) {
      case LayoutAttribute::leading:
      case LayoutAttribute::top:
        return bounds ? std::optional<double>(0) : axis.lead;
      case LayoutAttribute::trailing:
      case LayoutAttribute::bottom:
        return bounds ? axis.size : axis.trail;
      case LayoutAttribute::centerX:
      case LayoutAttribute::centerY:
        if (bounds) return axis.size ? std::optional<double>(*axis.size / 2) : std::nullopt;
        return axis.center;
      case LayoutAttribute::width:
      case LayoutAttribute::height:
        return axis.size;
      case LayoutAttribute::notAnAttribute:
        break;
    }
    return std::nullopt;
  }

  /// Records `target` for the term; returns whether anything was learnt.
  bool assign(const Term& term, double target) {
    if (!std::isfinite(target)) return false;
    Axis& axis = axisOf(term);
    const bool bounds = term.space == Space::bounds;
    std::optional<double>* slot = nullptr;
    switch (term.attribute) {
      case LayoutAttribute::leading:
      case LayoutAttribute::top:
        if (bounds) return false;
        slot = &axis.lead;
        break;
      case LayoutAttribute::trailing:
      case LayoutAttribute::bottom:
        slot = bounds ? &axis.size : &axis.trail;
        break;
      case LayoutAttribute::centerX:
      case LayoutAttribute::centerY:
        if (bounds) {
          target *= 2;
          slot = &axis.size;
        } else {
          slot = &axis.center;
        }
        break;
      case LayoutAttribute::width:
      case LayoutAttribute::height:
        slot = &axis.size;
        break;
      case LayoutAttribute::notAnAttribute:
        return false;
    }
    if (slot->has_value()) return false;  // the first constraint to decide wins
    *slot = target;
    axis.complete();
    return true;
  }

  bool propagate() {
    bool learnt = false;
    for (const auto& equation : equations_) {
      const auto left = value(equation.left);
      if (!equation.right) {
        if (!left) learnt |= assign(equation.left, equation.constant);
        continue;
      }
      const auto right = value(*equation.right);
      if (right && !left) {
        learnt |= assign(equation.left, equation.multiplier * *right + equation.constant);
      } else if (left && !right && equation.multiplier != 0) {
        learnt |= assign(*equation.right, (*left - equation.constant) / equation.multiplier);
      }
    }
    return learnt;
  }

  /// Whether a constraint ties the view's size on the axis of `attribute` to another view.
  bool sizeTied(View* view, LayoutAttribute attribute) const {
    const bool across = horizontal(attribute);
    const auto tied = [&](const Term& term) {
      return term.view == view && horizontal(term.attribute) == across &&
             (term.attribute == LayoutAttribute::width ||
              term.attribute == LayoutAttribute::height);
    };
    for (const auto& equation : equations_) {
      if (equation.right && (tied(equation.left) || tied(*equation.right))) return true;
    }
    return false;
  }

  /// Gives unsized views their intrinsic size, in tree order; `tiedToo` includes sizes that a
  /// constraint relates to another view's.
  bool applyIntrinsicSizes(bool tiedToo) {
    bool learnt = false;
    for (View* view : order_) {
      if (view->translatesAutoresizingMaskIntoConstraints) continue;
      const auto size = view->intrinsicContentSize();
      if (!size) continue;
      Node& node = nodes_[view];
      if (!node.x.size && (tiedToo || !sizeTied(view, LayoutAttribute::width))) {
        node.x.size = size->width;
        node.x.complete();
        learnt = true;
      }
      if (!node.y.size && (tiedToo || !sizeTied(view, LayoutAttribute::height))) {
        node.y.size = size->height;
        node.y.complete();
        learnt = true;
      }
      // One view at a time once ties are involved: its size may settle the others'.
      if (learnt && tiedToo) return true;
    }
    return learnt;
  }

  std::unordered_map<View*, Node> nodes_;
  std::vector<View*> order_;  // tree order, parents first
  std::vector<Equation> equations_;
};

}  // namespace

void View::layoutIfNeeded() {
  Solver(*this).solve();
}

}  // namespace zelvora::platform
