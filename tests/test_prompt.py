"""Prompt: construction from Python data, models and text; coverage; properties; sources."""

import gc
import inspect
import weakref
from typing import Optional

import pydantic
import pytest

import quorlen
from definitions import definition, var


class VariableModel(pydantic.BaseModel):
    type: str
    trusted: bool
    description: Optional[str] = None
    validation_required: Optional[bool] = None


class DefinitionModel(pydantic.BaseModel):
    name: str
    role: str
    body: str
    output_model: Optional[str] = None
    variables: Optional[dict[str, VariableModel]] = None
    metadata: Optional[dict] = None


class Who(pydantic.BaseModel):
    who: str


def rows(exc):
    return [(r.field, r.code, r.message) for r in exc.errors]


def test_dict_shape():
    p = quorlen.Prompt(definition("Hi {{ who }}", variables={"who": var()}))
    assert (p.name, p.role, p.body) == ("greeting", "user", "Hi {{ who }}")


def test_model_shape_leaves_none_fields_out():
    model = DefinitionModel(name="m", role="system", body="{{ x }}",
                            variables={"x": VariableModel(type="string", trusted=True)})
    p = quorlen.Prompt(model)
    assert p.output_model is None
    assert p.variables == {"x": {"trusted": True, "type": "string",
                                 "validation_required": False}}


class DictWithAttribute(dict):
    model_dump_json = "not callable"


class DumpRaises:
    def model_dump_json(self, **kwargs):
        raise RuntimeError("secret detail")


class DumpReturnsBytes:
    def model_dump_json(self, **kwargs):
        return b"{}"


class DumpRecordsArguments:
    seen = None

    def model_dump_json(self, **kwargs):
        DumpRecordsArguments.seen = kwargs
        return '{"name": "n", "role": "user", "body": "b"}'


class ProbeRaises:
    def __getattr__(self, name):
        raise RuntimeError("probe failed")


def test_non_callable_model_dump_json_is_converted_as_data():
    assert quorlen.Prompt(DictWithAttribute(definition())).name == "greeting"


def test_model_dump_json_is_called_with_exclude_none():
    quorlen.Prompt(DumpRecordsArguments())
    assert DumpRecordsArguments.seen == {"exclude_none": True}


@pytest.mark.parametrize("shape, message", [
    (DumpRaises(), "could not serialize the prompt definition"),
    (DumpReturnsBytes(), "TypeError: model_dump_json() must return str, not bytes"),
    (ProbeRaises(), "RuntimeError: probe failed"),
    ("name: x", "invalid type: string \"name: x\", expected struct PromptDefinition"),
    (definition(metadata={"n": 2**64}), "JSON number out of range"),
    ({**definition(), 1: "x"}, "object keys must be str, not int"),
], ids=["dump-raises", "dump-bytes", "probe-raises", "str-shape", "big-int", "int-key"])
def test_shape_failures_are_load_errors(shape, message):
    with pytest.raises(quorlen.LoadError) as info:
        quorlen.Prompt(shape)
    assert rows(info.value)[0][:2] == ("", "load")
    assert rows(info.value)[0][2].startswith(message)
    assert "secret detail" not in str(info.value)


def test_interrupt_in_model_dump_json_is_not_swallowed():
    class Interrupts:
        def model_dump_json(self, **kwargs):
            raise KeyboardInterrupt

    with pytest.raises(KeyboardInterrupt):
        quorlen.Prompt(Interrupts())


TEXTS = {
    "from_json": '{"name": "t", "role": "assistant", "body": "B {{ v }}",'
                 ' "variables": {"v": {"type": "string", "trusted": true}}}',
    "from_yaml": "name: t\nrole: assistant\nbody: B {{ v }}\n"
                 "variables:\n  v:\n    type: string\n    trusted: true\n",
    "from_toml": 'name = "t"\nrole = "assistant"\nbody = "B {{ v }}"\n'
                 '[variables.v]\ntype = "string"\ntrusted = true\n',
}


@pytest.mark.parametrize("factory", sorted(TEXTS))
def test_text_factories(factory):
    make = getattr(quorlen.Prompt, factory)
    p = make(TEXTS[factory])
    assert (p.name, p.role, p.body) == ("t", "assistant", "B {{ v }}")
    assert list(p.variables) == ["v"]
    assert str(inspect.signature(make)) == "(text, *, validators=None)"
    with pytest.raises(TypeError, match="text"):
        make(TEXTS[factory].encode())
    with pytest.raises(TypeError):
        make(TEXTS[factory], Who)  # validators is keyword-only


def test_malformed_text_is_a_load_error_with_the_readers_message():
    with pytest.raises(quorlen.LoadError) as info:
        quorlen.Prompt.from_json('{"name": "n",}')
    (field, code, message) = rows(info.value)[0]
    assert (field, code) == ("", "load")
    assert message.startswith("trailing comma")
    assert str(info.value) == "failed to load prompt definition: " + message


def test_construction_failure_is_a_render_error():
    with pytest.raises(quorlen.PromptRenderError) as info:
        quorlen.Prompt(definition("Hi {{ undeclared }}"))
    assert str(info.value).startswith("render failed (1 error(s)); ")
    assert len(info.value.errors) == 1


REQUIRED = {"who": var(validation_required=True), "extra": var()}
NEEDS_BOTH = {"b": var(validation_required=True), "a": var(validation_required=True)}
NO_MODEL_FIELDS = ("", "validation",
                   "validators must be a Pydantic model class (must have `model_fields`)")


def missing(name):
    return (name, "validation", f"variable `{name}` has `validation_required = true` but no "
                                "validators were supplied at construction")


def undeclared(name):
    return (name, "validation", f"variable `{name}` has `validation_required = true` but the "
                                "supplied validators model does not declare this field "
                                "(introspected via `model_fields`)")


class RaisingFields:
    @property
    def model_fields(self):
        raise RuntimeError("no")


class ContainsRaises:
    class model_fields:
        def __contains__(self, name):
            raise RuntimeError("no")

    model_fields = model_fields()


class A(pydantic.BaseModel):
    a: int


@pytest.mark.parametrize("variables, validators, row", [
    ({"who": var()}, 42, None),
    ({"who": var()}, None, None),
    (REQUIRED, Who, None),
    (REQUIRED, None, missing("who")),
    (REQUIRED, 42, NO_MODEL_FIELDS),
    (REQUIRED, RaisingFields(), NO_MODEL_FIELDS),
    (REQUIRED, A, undeclared("who")),
    (REQUIRED, ContainsRaises, undeclared("who")),
    (NEEDS_BOTH, None, missing("a")),
    (NEEDS_BOTH, A, undeclared("b")),
], ids=["not-examined", "none-needed", "covered", "absent", "not-a-model", "fields-raise",
        "field-missing", "contains-raises", "first-by-name", "second-by-name"])
def test_validator_coverage(variables, validators, row):
    body = " ".join("{{ %s }}" % name for name in sorted(variables))
    shape = definition(body, variables=variables)
    if row is None:
        assert quorlen.Prompt(shape, validators=validators).name == "greeting"
        return
    with pytest.raises(quorlen.PromptValidationError) as info:
        quorlen.Prompt(shape, validators=validators)
    assert rows(info.value) == [row]


def test_coverage_runs_after_the_definition_is_accepted():
    shape = definition("{{ who }} {{ nope }}", variables=REQUIRED)
    with pytest.raises(quorlen.PromptRenderError):
        quorlen.Prompt(shape, validators=None)


def test_properties():
    p = quorlen.Prompt(definition(
        "x", role="system", output_model="Answer",
        variables={"zeta": var(), "alpha": var("integer", trusted=False, description="d")},
        variants={"short": {"body": "s", "metadata": {"k": 1}}, "long": {"body": "l"}},
        metadata={"guard": True}))
    assert (p.role, p.output_model) == ("system", "Answer")
    assert list(p.variables) == ["alpha", "zeta"]
    assert p.variables["alpha"] == {"description": "d", "trusted": False, "type": "integer",
                                    "validation_required": False}
    assert p.variants == {"long": {"body": "l"}, "short": {"body": "s", "metadata": {"k": 1}}}
    assert list(p.variants) == ["long", "short"]
    assert p.metadata == {"guard": True}
    assert p.variables is not p.variables and p.variants is not p.variants


def test_absent_optional_fields():
    p = quorlen.Prompt(definition())
    assert (p.variables, p.variants, p.metadata, p.output_model) == ({}, {}, {}, None)


def test_get_source():
    p = quorlen.Prompt(definition("root", variants={"v": {"body": "variant body"}}))
    assert p.get_source() == p.get_source(variant=None) == p.get_source(variant="default") == "root"
    assert p.get_source(variant="v") == "variant body"
    with pytest.raises(quorlen.PromptRenderError) as info:
        p.get_source(variant="nope")
    assert rows(info.value) == [("variant", "unknown_variant", "unknown variant: `nope`")]
    with pytest.raises(TypeError, match="variant"):
        p.get_source(variant=1)
    with pytest.raises(TypeError):
        p.get_source("v")


@pytest.mark.parametrize("name, shown", [
    ("greeting", 'Prompt(name="greeting", role="user")'),
    ('say "hi"\n', r'Prompt(name="say \"hi\"\n", role="user")'),
])
def test_repr(name, shown):
    assert repr(quorlen.Prompt(definition(name=name))) == shown


def test_prompt_is_immutable():
    p = quorlen.Prompt(definition())
    for attr in ("name", "body", "variables"):
        with pytest.raises(AttributeError):
            setattr(p, attr, "x")
    with pytest.raises(TypeError):
        weakref.ref(p)
    with pytest.raises(TypeError):
        class Sub(quorlen.Prompt):
            pass


def test_signatures():
    assert str(inspect.signature(quorlen.Prompt)) == "(shape, *, validators=None)"
    p = quorlen.Prompt(definition())
    assert str(inspect.signature(p.get_source)) == "(*, variant=None)"
    assert str(inspect.signature(p.check)) == "()"


@pytest.mark.parametrize("call", [
    lambda: quorlen.Prompt(),
    lambda: quorlen.Prompt(definition(), Who),
    lambda: quorlen.Prompt(definition(), nope=1),
    lambda: quorlen.Prompt(shape=definition(), validators=None, extra=None),
])
def test_constructor_binding(call):
    with pytest.raises(TypeError):
        call()


def test_validators_reference_is_released_through_a_cycle():
    class Model(pydantic.BaseModel):
        who: str

    holder = weakref.ref(Model)
    Model.prompt = quorlen.Prompt(definition(), validators=Model)
    del Model
    gc.collect()
    assert holder() is None
