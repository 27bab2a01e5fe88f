"""Prompt.render: the validation modes, the kernel value, GuardConfig and RenderResult."""

import datetime
import gc
import hashlib
import inspect
import sys
import tracemalloc

import pydantic
import pytest

import quorlen
from definitions import definition, var


class Who(pydantic.BaseModel):
    who: str


class Other(pydantic.BaseModel):
    who: str

    @pydantic.field_validator("who")
    @classmethod
    def shout(cls, v):
        return v.upper()


def prompt(body="Hi {{ who }}!", variables=None, validators=None, **fields):
    variables = {"who": var()} if variables is None else variables
    return quorlen.Prompt(definition(body, variables=variables, **fields), validators=validators)


def rows(exc):
    return [(r.field, r.code, r.message) for r in exc.errors]


NO_MODEL = ("", "validation", "render() requires a model or validators bound at construction")
NO_DATA = ("", "validation", "render() with no model arg requires explicit data= when using a "
                             "bound validator class")


@pytest.mark.parametrize("bound, args, kwargs, outcome", [
    (None, (Who,), {"data": {"who": "ann"}}, "Hi ann!"),
    (None, (Who(who="bob"),), {}, "Hi bob!"),
    (Who, (), {"data": {"who": "cy"}}, "Hi cy!"),
    (Who, (Other,), {"data": {"who": "dee"}}, "Hi DEE!"),
    (Other, (Who(who="eve"),), {}, "Hi eve!"),
    (Who, (), {}, NO_DATA),
    (None, (), {"data": {"who": "x"}}, NO_MODEL),
    (None, (), {}, NO_MODEL),
    (None, (None,), {"data": None}, NO_MODEL),
], ids=["model+data", "instance", "bound+data", "explicit-wins", "instance-wins", "bound-no-data",
        "nothing-bound", "nothing", "explicit-nones"])
def test_validation_modes(bound, args, kwargs, outcome):
    p = prompt(validators=bound)
    if isinstance(outcome, str):
        assert p.render(*args, **kwargs).text == outcome
        return
    with pytest.raises(quorlen.PromptValidationError) as info:
        p.render(*args, **kwargs)
    assert rows(info.value) == [outcome]


class Item(pydantic.BaseModel):
    name: str


class Order(pydantic.BaseModel):
    items: list[Item]
    count: int


def test_validation_rows_follow_pydantic_errors():
    p = prompt("{{ items }} {{ count }}", {"items": var("array"), "count": var("integer")})
    with pytest.raises(quorlen.PromptValidationError) as info:
        p.render(Order, data={"items": [{"name": "ok"}, {"name": 5}], "count": "secret-xyz"})
    fields = [r.field for r in info.value.errors]
    assert fields == ["items.1.name", "count"]
    assert all(r.code == "validation" for r in info.value.errors)
    assert str(info.value).startswith("validation failed (2 error(s)); items.1.name: ")
    assert "; count: " in str(info.value)
    assert "secret-xyz" not in str(info.value)


def test_validation_precedes_the_variant_lookup():
    with pytest.raises(quorlen.PromptValidationError):
        prompt().render(Who, data={"who": 1}, variant="undeclared")


class Broken(pydantic.BaseModel):
    who: str

    @pydantic.field_validator("who")
    @classmethod
    def explode(cls, v):
        raise TypeError("not a validation error")


def test_non_pydantic_exceptions_propagate_unchanged():
    with pytest.raises(TypeError, match="not a validation error"):
        prompt().render(Broken, data={"who": "x"})
    with pytest.raises(AttributeError):
        prompt().render(object(), data={"who": "x"})


def fake_validation_error(errors):
    """An instance of a ValidationError subclass whose errors() is `errors`."""
    cls = type("Hostile", (pydantic.ValidationError,), {"errors": errors})
    return cls.from_exception_data("Hostile", [{"type": "missing", "loc": ("a",), "input": {}}])


class Raiser:
    """A model whose model_validate raises a prepared exception."""

    def __init__(self, exc):
        self.exc = exc

    def model_validate(self, data):
        raise self.exc


def not_iterable(self):
    return 42


def raises(self):
    raise RuntimeError("errors() failed")


def fails_midway(self):
    yield {"loc": ("a",), "msg": "first"}
    raise RuntimeError("midway")


WITHHELD = [("", "validation", "input validation failed (error detail withheld)")]


@pytest.mark.parametrize("errors, expected", [
    (raises, WITHHELD),
    (not_iterable, WITHHELD),
    (fails_midway, WITHHELD),
    (lambda self: [{"loc": ("x", 0), "msg": 7}], [("x.0", "validation", "validation error")]),
    (lambda self: [{"msg": "m"}], [("", "validation", "m")]),
    (lambda self: [{"loc": "ab", "msg": "m"}], [("a.b", "validation", "m")]),
    (lambda self: [{"loc": 5, "msg": "m"}], [("5", "validation", "m")]),
    (lambda self: [{"loc": ("\ud800",), "msg": "m"}], [("\ufffd", "validation", "m")]),
    (lambda self: [], []),
], ids=["raises", "not-iterable", "midway", "msg-not-str", "no-loc", "str-loc", "int-loc",
        "surrogate", "empty"])
def test_hostile_pydantic_errors(errors, expected):
    with pytest.raises(quorlen.PromptValidationError) as info:
        prompt().render(Raiser(fake_validation_error(errors)), data={})
    assert rows(info.value) == expected


class Dumps(pydantic.BaseModel):
    who: str
    when: datetime.date
    big: int = 0


def test_dump_values_reach_the_template_in_json_mode():
    p = prompt("{{ who }} {{ when }}", {"who": var(), "when": var()})
    assert p.render(Dumps, data={"who": "w", "when": "2024-05-06"}).text == "w 2024-05-06"


def test_unconvertible_dump_is_a_load_error():
    p = prompt("{{ who }}", {"who": var()})
    with pytest.raises(quorlen.LoadError) as info:
        p.render(Dumps, data={"who": "w", "when": "2024-05-06", "big": 2**64})
    assert rows(info.value) == [("", "load",
                                 "could not marshal Python value: JSON number out of range")]


class HostileDump:
    """An instance whose model_dump misbehaves; re-validated through its own type."""

    behaviour = None

    @classmethod
    def model_validate(cls, data):
        return cls()

    def model_dump(self, mode):
        return HostileDump.behaviour()


def cyclic():
    d = {"who": "x"}
    d["self"] = d
    return d


def test_hostile_dumps():
    p = prompt()
    HostileDump.behaviour = lambda: (_ for _ in ()).throw(RuntimeError("dump failed"))
    with pytest.raises(RuntimeError, match="dump failed"):
        p.render(HostileDump, data={})
    HostileDump.behaviour = lambda: {"who": object()}
    with pytest.raises(quorlen.LoadError, match="unsupported type: object"):
        p.render(HostileDump, data={})
    HostileDump.behaviour = cyclic
    with pytest.raises(quorlen.LoadError, match="recursion limit exceeded"):
        p.render(HostileDump, data={})
    HostileDump.behaviour = lambda: {"who": "m", "many": list(range(1_000_000))}
    assert p.render(HostileDump, data={}).text == "Hi m!"


@pytest.mark.parametrize("kwargs", [
    {"variant": 1},
    {"guard": {"enabled": True}},
    {"unsafe_reveal_render_detail": None},
    {"unsafe_reveal_render_detail": 1},
    {"nope": 1},
])
def test_argument_types(kwargs):
    with pytest.raises(TypeError):
        prompt().render(Who, data={"who": "x"}, **kwargs)


def test_render_signature():
    assert str(inspect.signature(prompt().render)) == (
        "(model=None, *, data=None, variant=None, guard=None, unsafe_reveal_render_detail=False)")


def test_result_and_provenance():
    p = prompt(variants={"short": {"body": "Yo {{ who }}"}})
    r = p.render(Who, data={"who": "x"}, variant="short")
    assert (r.text, r.name, r.variant, r.guard) == ("Yo x", "greeting", "short", None)
    assert r.template_hash == hashlib.sha256(b"Yo {{ who }}").hexdigest()
    assert r.render_hash == hashlib.sha256(b"Yo x").hexdigest()
    attrs = r.provenance_attributes()
    assert attrs == {"quorlen.prompt.name": "greeting", "quorlen.prompt.variant": "short",
                     "quorlen.prompt.template_hash": r.template_hash,
                     "quorlen.prompt.render_hash": r.render_hash}
    attrs.clear()
    assert len(r.provenance_attributes()) == 4
    assert repr(r) == (f'RenderResult(name="greeting", variant="short", template_hash='
                       f'"{r.template_hash}", render_hash="{r.render_hash}")')
    assert p.render(Who, data={"who": "x"}).variant == "default"
    with pytest.raises(TypeError):
        quorlen.RenderResult()


def test_guarded_render():
    p = prompt(variables={"who": var(trusted=False)})
    r = p.render(Who, data={"who": "<b>"}, guard=quorlen.GuardConfig(enabled=True))
    assert "<untrusted>" in r.text and "<b>" not in r.text
    assert r.guard and "<untrusted>" in r.guard
    assert r.guard not in repr(r) and r.text not in repr(r)
    plain = p.render(Who, data={"who": "<b>"}, guard=quorlen.GuardConfig())
    assert (plain.text, plain.guard) == ("Hi <b>!", None)


def test_rejected_advisory_override():
    p = prompt(variables={"who": var(trusted=False)})
    with pytest.raises(quorlen.PromptRenderError) as info:
        p.render(Who, data={"who": "x"},
                 guard=quorlen.GuardConfig(enabled=True, advisory="be careful"))
    ((field, code, message),) = rows(info.value)
    assert (field, code) == ("guard", "render")
    assert message.startswith("guard advisory override is invalid: ")


@pytest.mark.parametrize("kwargs, enabled, advisory, shown", [
    ({}, False, None, "GuardConfig(enabled=False, advisory=None)"),
    ({"enabled": True}, True, None, "GuardConfig(enabled=True, advisory=None)"),
    ({"advisory": None}, False, None, "GuardConfig(enabled=False, advisory=None)"),
    ({"enabled": False, "advisory": 'a "b"\n'}, False, 'a "b"\n',
     r'GuardConfig(enabled=False, advisory=Some("a \"b\"\n"))'),
])
def test_guard_config(kwargs, enabled, advisory, shown):
    g = quorlen.GuardConfig(**kwargs)
    assert (g.enabled, g.advisory, repr(g)) == (enabled, advisory, shown)


@pytest.mark.parametrize("call", [
    lambda: quorlen.GuardConfig(True),
    lambda: quorlen.GuardConfig(enabled=None),
    lambda: quorlen.GuardConfig(enabled=1),
    lambda: quorlen.GuardConfig(advisory=b"x"),
    lambda: quorlen.GuardConfig(other=1),
])
def test_guard_config_refuses(call):
    with pytest.raises(TypeError):
        call()


def test_render_failures_are_scrubbed_unless_revealed():
    p = prompt("{{ who + 1 }}")
    with pytest.raises(quorlen.PromptRenderError) as info:
        p.render(Who, data={"who": "secret-value"})
    assert rows(info.value) == [("template", "render", "render error")]
    with pytest.raises(quorlen.PromptRenderError) as info:
        p.render(Who, data={"who": "secret-value"}, unsafe_reveal_render_detail=True)
    ((field, code, message),) = rows(info.value)
    assert (field, code) == ("template", "render") and message != "render error"


def test_undeclared_variant_is_a_render_error():
    with pytest.raises(quorlen.PromptRenderError) as info:
        prompt().render(Who, data={"who": "x"}, variant="nope")
    assert rows(info.value) == [("variant", "unknown_variant", "unknown variant: `nope`")]


def test_repeated_renders_leak_nothing():
    p = prompt(validators=Who)
    data = {"who": "x"}
    guard = quorlen.GuardConfig(enabled=True)

    def burst():
        for _ in range(300):
            p.render(data=data, guard=guard)
            p.render(Who(who="y"))
            with pytest.raises(quorlen.PromptValidationError):
                p.render(data={"who": 1})
            with pytest.raises(quorlen.PromptRenderError):
                p.render(data=data, variant="nope")

    burst()
    gc.collect()
    counts = [sys.getrefcount(o) for o in (p, Who, data, guard)]
    tracemalloc.start()
    before = tracemalloc.get_traced_memory()[0]
    burst()
    gc.collect()
    after = tracemalloc.get_traced_memory()[0]
    tracemalloc.stop()
    assert [sys.getrefcount(o) for o in (p, Who, data, guard)] == counts
    assert after - before < 64 * 1024
