// Removal rules: entities chosen by class name or identifier, brushes chosen
// by texture name. A rule never deletes: it clears IsStored and the writers
// leave the thing out.
#include "brixlib/rules.h"

namespace brix
{

namespace
{
constexpr std::string_view ClassNameKey = "classname";
}

bool TRule::Cmp(std::string_view Value) const
{
    // An empty value never matches, and the mask is not even looked at: an
    // entity without a class name does not raise the error of a bad mask.
    if (Value.empty()) {
        return false;
    }
    return FMask.Matches(Value);
}

bool TRule::IDMask() const
{
    return Param.find('#') != std::string::npos;
}

void TRule::ApplyToEntity(TEntity &E) const
{
    // An identifier mask looks at identifiers only: a class name that
    // happens to match it must not remove the entity.
    if (IDMask()) {
        if (Cmp(E.ID())) {
            E.SetIsStored(false);
        }
        return;
    }
    if (Cmp(E.PropValue(ClassNameKey))) {
        E.SetIsStored(false);
    }
}

void TRule::ApplyToBrushes(TEntity &E) const
{
    for (TBrush &B : E.Brushes) {
        if (B.IsTextured(FMask)) {
            B.SetIsStored(false);
        }
    }
}

} // namespace brix
