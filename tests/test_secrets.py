"""A value bound to a variable never reaches an exception message or row, whatever fails,
unless the caller asks for render detail."""

import typing

import pydantic
import pytest
from hypothesis import given, settings, strategies as st

import quorlen
from definitions import definition, var

# Printable text that cannot occur by accident in fixed messages or template source.
secrets = st.text(alphabet=st.characters(min_codepoint=0x21, max_codepoint=0x2FFF,
                                         blacklist_categories=("Cs",)),
                  min_size=6, max_size=40).map(lambda s: "§" + s)


class Secret(pydantic.BaseModel):
    secret: str


class Short(pydantic.BaseModel):
    secret: str = pydantic.Field(max_length=3)


class Numeric(pydantic.BaseModel):
    secret: int


class Loose(pydantic.BaseModel):
    secret: typing.Any


def prompt(body):
    return quorlen.Prompt(definition(body, variables={"secret": var(trusted=False)}))


# Each case: a prompt, the render keyword arguments, the exception class expected.
VALIDATION, RENDER = quorlen.PromptValidationError, quorlen.PromptRenderError
CASES = {
    "validation-length": ("{{ secret }}", {"model": Short}, VALIDATION),
    "validation-type": ("{{ secret }}", {"model": Numeric}, VALIDATION),
    "render-operation": ("{{ secret + 1 }}", {"model": Secret}, RENDER),
    "render-call": ("{{ secret() }}", {"model": Secret}, RENDER),
    "undefined-attribute": ("{{ secret.missing.deeper }}", {"model": Secret}, RENDER),
    "undefined-key": ("{{ {}[secret] }}", {"model": Secret}, RENDER),
    "unknown-variant": ("{{ secret }}", {"model": Secret, "variant": "v"}, RENDER),
    "guard-override": ("{{ secret }}", {"model": Secret, "guard": "override"}, RENDER),
    "derived-key": ("{{ {secret: 1}[secret ~ 'x'] }}", {"model": Secret}, RENDER),
    "index": ("{{ secret[10**9] }}", {"model": Secret}, RENDER),
    "filter": ("{{ secret|int(strict=true) }}", {"model": Secret}, RENDER),
    "format": ("{{ '%d'|format(secret) }}", {"model": Secret}, RENDER),
    "attribute-by-value": ("{{ secret|attr(secret) }}", {"model": Secret}, RENDER),
    "output-bound": ("{{ secret * 10**9 }}", {"model": Secret}, RENDER),
    "range-bound": ("{{ range(secret|length * 10**5) }}", {"model": Secret}, RENDER),
    "guarded-then-failing": ("{{ secret }}{{ secret + 1 }}", {"model": Secret, "guard": "on"},
                             RENDER),
}


def texts_of(exc):
    yield str(exc)
    yield repr(exc)
    for row in getattr(exc, "errors", []):
        yield row.field
        yield row.message
        yield repr(row)


@pytest.mark.parametrize("case", sorted(CASES))
@settings(max_examples=25, deadline=None)
@given(secret=secrets)
def test_bound_values_stay_out_of_errors(case, secret):
    body, kwargs, expected = CASES[case]
    kwargs = dict(kwargs)
    model = kwargs.pop("model")
    if kwargs.get("guard") == "override":
        kwargs["guard"] = quorlen.GuardConfig(enabled=True, advisory="x")
    elif kwargs.get("guard") == "on":
        kwargs["guard"] = quorlen.GuardConfig(enabled=True)
    data = {"secret": secret}
    p = prompt(body)
    with pytest.raises(Exception) as info:
        p.render(model, data=data, **kwargs)
    assert isinstance(info.value, expected), info.value
    for text in texts_of(info.value):
        assert secret not in text


ASK = quorlen.Prompt(definition("Q: {{ secret }}", variables={"secret": var(trusted=False)},
                                variants={"v": {"body": "{{ secret + 1 }}"}}))


# The same failures reached through a Composition: at append (validation) or at resolve.
COMPOSED = {
    "append-validation": (lambda s: [(ASK, Short.model_construct(secret=s))], VALIDATION),
    "append-unconvertible": (lambda s: [(ASK, Loose(secret={s: [s, 2**80]}))],
                             quorlen.LoadError),
    "resolve-render": (lambda s: [(ASK, Secret(secret=s)), (ASK, Secret(secret=s), "v")], RENDER),
    "resolve-unknown-variant": (lambda s: [(ASK, Secret(secret=s), "missing")], RENDER),
    "resolve-undefined": (lambda s: [(prompt("{{ secret.missing }}"), Secret(secret=s))], RENDER),
}


@pytest.mark.parametrize("case", sorted(COMPOSED))
@settings(max_examples=25, deadline=None)
@given(secret=secrets)
def test_bound_values_stay_out_of_composition_errors(case, secret):
    entries, expected = COMPOSED[case]
    with pytest.raises(Exception) as info:
        quorlen.Composition.from_messages(entries(secret)).resolve()
    assert isinstance(info.value, expected), info.value
    for text in texts_of(info.value):
        assert secret not in text


@given(secret=secrets)
@settings(max_examples=25, deadline=None)
def test_reveal_opts_in_to_render_detail_only(secret):
    p = prompt("{{ secret + 1 }}")
    with pytest.raises(quorlen.PromptRenderError) as info:
        p.render(Secret, data={"secret": secret}, unsafe_reveal_render_detail=True)
    ((row),) = info.value.errors
    assert (row.field, row.code) == ("template", "render")
    assert row.message != "render error"
