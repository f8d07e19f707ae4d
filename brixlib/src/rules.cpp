// Removal rules: entities chosen by class name or identifier, brushes chosen
// by texture name. A rule never deletes: it clears IsStored and the writers
// leave the thing out.
#include "brixlib/rules.h"

#include "brixlib/entitykeys.h"

namespace brix
{

bool TRule::Cmp(std::string_view Value) const
{
    // An empty value never matches, and the mask is not even looked at: an
    // entity without a class name does not raise the error of a bad mask.
    if (Value.empty()) {
        return false;
    }
    return FMask.Matches(Value);
}

bool TRule::IsEntityRule() const
{
    return Rule == TRuleKind::rkDe || Rule == TRuleKind::rkDse || Rule == TRuleKind::rkDae;
}

bool TRule::IsLayerRule() const
{
    return Rule == TRuleKind::rkDl || Rule == TRuleKind::rkKl;
}

bool TRule::AppliesTo(TMapRole Role) const
{
    switch (Rule) {
        case TRuleKind::rkDe:
        case TRuleKind::rkDl:
        case TRuleKind::rkKl:
            return Role != TMapRole::mrDestination;
        case TRuleKind::rkDt:
            return true;
        case TRuleKind::rkDse:
        case TRuleKind::rkDst:
            return Role == TMapRole::mrSource;
        case TRuleKind::rkDae:
        case TRuleKind::rkDat:
            return Role == TMapRole::mrAdditional;
        case TRuleKind::rkDdt:
            return Role == TMapRole::mrDestination;
    }
    return false;
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
    if (Cmp(E.PropValue(KeyClassName))) {
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
