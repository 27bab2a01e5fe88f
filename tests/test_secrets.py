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


VALIDATION, RENDER = quorlen.PromptValidationError, quorlen.PromptRenderError
GUARDS = {"on": quorlen.GuardConfig(enabled=True),
          "override": quorlen.GuardConfig(enabled=True, advisory="x")}


def rendering(body, model=Secret, guard=None, **kwargs):
    """A render of `body` with the secret bound to `secret`."""
    return lambda s: prompt(body).render(model, data={"secret": s}, guard=GUARDS.get(guard),
                                         **kwargs)


ASK = quorlen.Prompt(definition("Q: {{ secret }}", variables={"secret": var(trusted=False)},
                                variants={"v": {"body": "{{ secret + 1 }}"}}))


def composing(entries):
    """A Composition built from entries holding the secret, then resolved."""
    return lambda s: quorlen.Composition.from_messages(entries(s)).resolve()


# Each case: the failing call given the secret, and the exception class expected.
CASES = {
    "validation-length": (rendering("{{ secret }}", Short), VALIDATION),
    "validation-type": (rendering("{{ secret }}", Numeric), VALIDATION),
    "render-operation": (rendering("{{ secret + 1 }}"), RENDER),
    "render-call": (rendering("{{ secret() }}"), RENDER),
    "undefined-attribute": (rendering("{{ secret.missing.deeper }}"), RENDER),
    "undefined-key": (rendering("{{ {}[secret] }}"), RENDER),
    "unknown-variant": (rendering("{{ secret }}", variant="v"), RENDER),
    "guard-override": (rendering("{{ secret }}", guard="override"), RENDER),
    "derived-key": (rendering("{{ {secret: 1}[secret ~ 'x'] }}"), RENDER),
    "index": (rendering("{{ secret[10**9] }}"), RENDER),
    "filter-arguments": (rendering("{{ secret|int(strict=true) }}"), RENDER),
    "parse-as-number": (rendering("{{ '%d'|format(secret) }}"), RENDER),
    "attribute-by-value": (rendering("{{ secret|attr(secret) }}"), RENDER),
    "output-bound": (rendering("{{ secret * 10**9 }}"), RENDER),
    "range-bound": (rendering("{{ range(secret|length * 10**5) }}"), RENDER),
    "guarded-then-failing": (rendering("{{ secret }}{{ secret + 1 }}", guard="on"), RENDER),
    # The same failures reached through a Composition: at append or at resolve.
    "compose-validation": (composing(lambda s: [(ASK, Short.model_construct(secret=s))]),
                           VALIDATION),
    "compose-unconvertible": (composing(lambda s: [(ASK, Loose(secret={s: [s, 2**80]}))]),
                              quorlen.LoadError),
    "compose-render": (composing(lambda s: [(ASK, Secret(secret=s)), (ASK, Secret(secret=s), "v")]),
                       RENDER),
    "compose-unknown-variant": (composing(lambda s: [(ASK, Secret(secret=s), "missing")]), RENDER),
    "compose-undefined": (composing(lambda s: [(prompt("{{ secret.missing }}"), Secret(secret=s))]),
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
    call, expected = CASES[case]
    with pytest.raises(Exception) as info:
        call(secret)
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
