"""Prompt.derive from overlay dicts, and the MergeStrategy members."""

import inspect

import pydantic
import pytest

import quorlen
from definitions import definition, var

MERGE, REPLACE = quorlen.MergeStrategy.MERGE, quorlen.MergeStrategy.REPLACE


class Who(pydantic.BaseModel):
    who: str
    tone: str = "warm"


class Nobody(pydantic.BaseModel):
    other: str


def base(validators=None):
    return quorlen.Prompt(definition(
        "Hi {{ who }}", name="greet", role="user",
        variables={"who": var(validation_required=True), "tone": var(description="style")},
        variants={"short": {"body": "{{ who }}"}},
        output_model="Reply",
        metadata={"owner": "team-a", "guard": {"on": False}}), validators=validators)


def content(p):
    return (p.name, p.role, p.body, p.variables, p.variants, p.output_model, p.metadata)


def rows(exc):
    return [(r.field, r.code, r.message) for r in exc.errors]


@pytest.mark.parametrize("strategy", [None, REPLACE, MERGE])
def test_empty_overlay_gives_an_equal_new_prompt_with_the_same_validators(strategy):
    p = base(Who)
    d = p.derive({}, strategy=strategy)
    assert d is not p
    assert content(d) == content(p)
    assert d.render(data={"who": "ann"}).text == "Hi ann"


@pytest.mark.parametrize("overlay, strategy, changes", [
    ({"name": "renamed", "role": "system"}, REPLACE, {"name": "renamed", "role": "system"}),
    ({"name": "renamed"}, MERGE, {"name": "renamed"}),
    ({"body": "Yo {{ tone }} {{ who }}"}, REPLACE, {"body": "Yo {{ tone }} {{ who }}"}),
    ({"output_model": None}, REPLACE, {"output_model": None}),
    ({"output_model": None}, MERGE, {"output_model": None}),
    ({"output_model": "Other"}, MERGE, {"output_model": "Other"}),
    ({"metadata": {"guard": {"x": 1}}}, MERGE,
     {"metadata": {"guard": {"x": 1}, "owner": "team-a"}}),
    ({"metadata": {"guard": {"x": 1}}}, REPLACE, {"metadata": {"guard": {"x": 1}}}),
    ({"metadata": {"guard": {"x": 1}}}, None, {"metadata": {"guard": {"x": 1}}}),
    ({"metadata": {}}, MERGE, {}),
    ({"metadata": {}}, REPLACE, {"metadata": {}}),
    ({"variables": {"extra": var()}}, MERGE,
     {"variables": {**base(Who).variables, "extra": var(validation_required=False)}}),
    ({"variables": {"tone": var("integer", trusted=False)}}, MERGE,
     {"variables": {**base(Who).variables,
                    "tone": var("integer", trusted=False, validation_required=False)}}),
    ({"variables": {"who": var(), "tone": var()}, "variants": {}}, REPLACE,
     {"variables": {"who": var(validation_required=False), "tone": var(validation_required=False)},
      "variants": {}}),
    ({"variants": {"long": {"body": "Hello there {{ who }}"}}}, MERGE,
     {"variants": {**base(Who).variants, "long": {"body": "Hello there {{ who }}"}}}),
    ({"unknown_key": 1, "Name": "ignored"}, REPLACE, {}),
], ids=["replace-scalars", "merge-scalar", "body", "clear-output-model-replace",
        "clear-output-model-merge", "output-model", "merge-metadata", "replace-metadata",
        "default-is-replace",
        "merge-empty-map-keeps", "replace-empty-map-clears", "merge-adds-variable",
        "merge-replaces-variable-whole", "replace-variables", "merge-adds-variant",
        "unknown-keys-ignored"])
def test_overlay_fields_under_each_strategy(overlay, strategy, changes):
    p = base(Who)
    before = content(p)
    d = p.derive(overlay, strategy=strategy)
    fields = ["name", "role", "body", "variables", "variants", "output_model", "metadata"]
    expected = tuple(changes.get(f, getattr(p, f)) for f in fields)
    assert content(d) == expected
    assert content(p) == before


def test_derived_prompt_renders_with_its_new_definition():
    p = base(Who)
    d = p.derive({"body": "{{ tone }}: {{ who }}", "name": "n2"})
    result = d.render(data={"who": "bo", "tone": "dry"})
    assert (result.text, result.name) == ("dry: bo", "n2")
    assert p.render(data={"who": "bo"}).text == "Hi bo"


def load_row(exc):
    (row,) = rows(exc)
    assert row[:2] == ("", "load")
    assert str(exc) == "failed to load prompt definition: " + row[2]
    return row[2]


def cyclic():
    d = {"metadata": {}}
    d["metadata"]["self"] = d
    return d


@pytest.mark.parametrize("overlay, message", [
    ({"role": "boss"}, "overlay field `role`: "),
    ({"name": 5, "role": 7}, "overlay field `name`: "),
    ({"name": None}, "overlay field `name`: "),
    ({"body": None}, "overlay field `body`: "),
    ({"variables": None}, "overlay field `variables`: "),
    ({"variables": {"x": {"type": "nope"}}}, "overlay field `variables`: "),
    ({"variants": {"v": {}}}, "overlay field `variants`: "),
    ({"output_model": 5}, "overlay field `output_model`: "),
    ({"metadata": None}, "overlay field `metadata`: "),
    ({"metadata": ["a"]}, "overlay field `metadata`: "),
    ({"role": "boss", "body": "{{ undeclared }}"}, "overlay field `role`: "),
    ([("body", "x")], "overlay must be a dict"),
    ("body", "overlay must be a dict"),
    (5, "overlay must be a dict"),
    (None, "overlay must be a dict"),
    ({"metadata": {"n": 2**64}}, "JSON number out of range"),
    ({1: "a"}, ""),
    (b"body", ""),
    (cyclic(), ""),
], ids=["bad-role", "first-key-in-field-order", "null-name", "null-body", "null-variables",
        "bad-variable", "bad-variant", "output-model-int", "null-metadata", "metadata-list",
        "overlay-before-invariants", "list", "str", "int", "none", "int-out-of-range",
        "non-str-key", "bytes", "cycle"])
def test_bad_overlays_are_load_errors(overlay, message):
    p = base(Who)
    with pytest.raises(quorlen.LoadError) as info:
        p.derive(overlay)
    assert load_row(info.value).startswith(message)
    assert p.render(data={"who": "x"}).text == "Hi x"


@pytest.mark.parametrize("overlay, strategy, field, code", [
    ({"body": "Hello {{ stranger }}"}, REPLACE, "stranger", "undefined_variable"),
    ({"variables": {}}, REPLACE, "who", "undefined_variable"),
    ({"variants": {"default": {"body": "x"}}}, MERGE, "variant", "undefined_variable"),
    ({"body": "{% include 'x' %}"}, REPLACE, "template", "excluded_feature"),
], ids=["undeclared-in-body", "emptied-variables", "reserved-variant", "excluded-feature"])
def test_merged_definition_is_validated_like_a_new_prompt(overlay, strategy, field, code):
    p = base(Who)
    with pytest.raises(quorlen.PromptRenderError) as info:
        p.derive(overlay, strategy=strategy)
    (row,) = info.value.errors
    assert (row.field, row.code) == (field, code)
    assert p.render(data={"who": "x"}).text == "Hi x"


def plain():
    return quorlen.Prompt(definition("Hi {{ who }}", variables={"who": var()}))


def uncovered(name):
    return (name, "validation",
            f"variable `{name}` has `validation_required = true` but the supplied validators "
            "model does not declare this field (introspected via `model_fields`)")


REQUIRE_OTHER = {"variables": {"other": var(validation_required=True)}, "body": "{{ other }}"}


@pytest.mark.parametrize("make, overlay, validators, row", [
    (lambda: base(Who), {}, Nobody, uncovered("who")),
    (lambda: base(Who), REQUIRE_OTHER, None, uncovered("other")),
    (plain, REQUIRE_OTHER, None,
     ("other", "validation", "variable `other` has `validation_required = true` but no "
                             "validators were supplied at construction")),
    (plain, REQUIRE_OTHER, 42,
     ("", "validation", "validators must be a Pydantic model class (must have `model_fields`)")),
], ids=["given-replaces-bound", "carried-does-not-cover", "none-bound", "not-a-model"])
def test_validator_coverage_of_the_merged_definition(make, overlay, validators, row):
    with pytest.raises(quorlen.PromptValidationError) as info:
        make().derive(overlay, validators=validators, strategy=MERGE)
    assert rows(info.value) == [row]


@pytest.mark.parametrize("make, overlay, validators, data, outcome", [
    (lambda: base(Who), {"body": "Yo {{ who }}"}, None, {"who": "x"}, "Yo x"),
    (lambda: base(Who), {"variables": {"who": var(), "tone": var()}}, Nobody, {"who": "x"},
     ("other", "validation", "Field required")),
    (plain, REQUIRE_OTHER, Nobody, {"other": "o"}, "o"),
    (plain, {}, None, {"who": "x"},
     ("", "validation", "render() requires a model or validators bound at construction")),
    (plain, {}, 42, {"who": "x"}, AttributeError),
], ids=["carried", "given-replaces-not-combines", "given-covers", "none-carried",
        "unexamined-when-not-needed"])
def test_the_derived_prompt_holds_the_chosen_validators(make, overlay, validators, data,
                                                        outcome):
    d = make().derive(overlay, validators=validators)
    if isinstance(outcome, str):
        assert d.render(data=data).text == outcome
    elif isinstance(outcome, tuple):
        with pytest.raises(quorlen.PromptValidationError) as info:
            d.render(data=data)
        assert rows(info.value) == [outcome]
    else:
        with pytest.raises(outcome):
            d.render(data=data)


def test_coverage_is_checked_after_the_merged_definition_is_accepted():
    with pytest.raises(quorlen.PromptRenderError):
        base(Who).derive({"body": "{{ stranger }}"}, validators=Nobody)


@pytest.mark.parametrize("call", [
    lambda p: p.derive({}, strategy=1),
    lambda p: p.derive({}, strategy="MERGE"),
    lambda p: p.derive({}, strategy=quorlen.MergeStrategy),
    lambda p: p.derive({}, Who),
    lambda p: p.derive(),
    lambda p: p.derive({}, strategy=MERGE, merge=True),
], ids=["strategy-int", "strategy-str", "strategy-class", "validators-positional",
        "missing-overlay", "unknown-keyword"])
def test_argument_binding(call):
    with pytest.raises(TypeError):
        call(base(Who))


def test_strategy_type_error_names_the_parameter():
    with pytest.raises(TypeError, match="'strategy'"):
        base(Who).derive({"role": "boss"}, strategy=1)


def test_derive_signature():
    assert str(inspect.signature(quorlen.Prompt.derive)) == (
        "(self, /, overlay, *, validators=None, strategy=None)")


# ---- MergeStrategy ----------------------------------------------------------------------

@pytest.mark.parametrize("left, right, equal", [
    (MERGE, MERGE, True),
    (REPLACE, REPLACE, True),
    (MERGE, REPLACE, False),
    (MERGE, 1, True),
    (REPLACE, 0, True),
    (MERGE, 0, False),
    (REPLACE, 1, False),
    (MERGE, True, True),
    (MERGE, 2**70, False),
    (MERGE, -1, False),
    (MERGE, "MERGE", False),
    (MERGE, 1.0, False),
    (MERGE, None, False),
])
def test_equality_with_members_and_integers(left, right, equal):
    assert (left == right) is equal
    assert (left != right) is not equal
    assert (right == left) is equal


def test_members():
    assert quorlen.MergeStrategy.MERGE is quorlen.MergeStrategy.MERGE
    assert (int(REPLACE), int(MERGE)) == (0, 1)
    assert (repr(REPLACE), repr(MERGE)) == ("MergeStrategy.REPLACE", "MergeStrategy.MERGE")
    assert type(MERGE) is quorlen.MergeStrategy


@pytest.mark.parametrize("misuse", [
    lambda: hash(MERGE),
    lambda: {MERGE},
    lambda: {REPLACE: 1},
    lambda: MERGE < REPLACE,
    lambda: MERGE >= 0,
    lambda: sorted([MERGE, REPLACE]),
    lambda: setattr(quorlen.MergeStrategy, "MERGE", REPLACE),
    lambda: setattr(quorlen.MergeStrategy, "OTHER", 2),
], ids=["hash", "set", "dict-key", "lt", "ge-int", "sorted", "rebind-member", "new-member"])
def test_members_are_unhashable_unordered_and_fixed(misuse):
    with pytest.raises(TypeError):
        misuse()
    assert int(quorlen.MergeStrategy.MERGE) == 1
