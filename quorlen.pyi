"""Validated, immutable prompt definitions rendered by a native template engine."""

from collections.abc import Iterable
from typing import Any, ClassVar, final

__all__ = [
    "core_version",
    "FieldError",
    "QuorlenError",
    "PromptValidationError",
    "PromptRenderError",
    "LoadError",
    "PromptLoadError",
    "make_prompt_load_error",
    "RenderResult",
    "GuardConfig",
    "CheckReport",
    "Finding",
    "Composition",
    "Message",
    "Prompt",
    "MergeStrategy",
]

def core_version() -> str:
    """Return the version of the rendering kernel."""

@final
class FieldError:
    """One read-only error row; never constructed from Python."""

    @property
    def field(self) -> str: ...
    @property
    def code(self) -> str: ...
    @property
    def message(self) -> str: ...

class QuorlenError(Exception):
    """Base of every error of quorlen; `errors` holds its FieldError rows."""

    errors: list[FieldError]

class PromptValidationError(QuorlenError): ...
class PromptRenderError(QuorlenError): ...
class LoadError(QuorlenError): ...
class PromptLoadError(QuorlenError): ...

def make_prompt_load_error(error_code: str, message: str) -> PromptLoadError:
    """Return (not raise) a new PromptLoadError for a loader's failure."""

@final
class RenderResult:
    """The immutable result of one Prompt.render."""

    @property
    def text(self) -> str: ...
    @property
    def name(self) -> str: ...
    @property
    def variant(self) -> str: ...
    @property
    def template_hash(self) -> str: ...
    @property
    def render_hash(self) -> str: ...
    @property
    def guard(self) -> str | None: ...
    def provenance_attributes(self) -> dict[str, str]: ...

@final
class GuardConfig:
    """Immutable guard settings for Prompt.render."""

    def __new__(cls, *, enabled: bool = False, advisory: str | None = None) -> GuardConfig: ...
    @property
    def enabled(self) -> bool: ...
    @property
    def advisory(self) -> str | None: ...

@final
class CheckReport:
    """The ordered, read-only output of Prompt.check(); empty means the lint passed."""

    @property
    def findings(self) -> list[Finding]: ...
    def passed(self) -> bool: ...
    def is_empty(self) -> bool: ...
    def __len__(self) -> int: ...

@final
class Finding:
    """One finding of Prompt.check()."""

    @property
    def prompt(self) -> str: ...
    @property
    def variant(self) -> str | None: ...
    @property
    def kind(self) -> str: ...
    @property
    def detail(self) -> str: ...

@final
class Composition:
    """An explicit, ordered sequence of prompt entries resolving to a list of Message."""

    def __new__(cls) -> Composition: ...
    def append(self, prompt: Prompt, vars: Any, *, variant: str | None = None) -> None: ...
    @staticmethod
    def from_messages(
        entries: Iterable[tuple[Prompt, Any] | tuple[Prompt, Any, str | None]],
    ) -> Composition: ...
    def resolve(self) -> list[Message]: ...
    def __len__(self) -> int: ...

@final
class Message:
    """One role-tagged rendered string of Composition.resolve()."""

    @property
    def role(self) -> str: ...
    @property
    def text(self) -> str: ...

@final
class Prompt:
    """An immutable prompt definition, fully validated at construction."""

    def __new__(cls, shape: Any, *, validators: Any = None) -> Prompt: ...
    @staticmethod
    def from_yaml(text: str, *, validators: Any = None) -> Prompt: ...
    @staticmethod
    def from_json(text: str, *, validators: Any = None) -> Prompt: ...
    @staticmethod
    def from_toml(text: str, *, validators: Any = None) -> Prompt: ...
    @property
    def name(self) -> str: ...
    @property
    def role(self) -> str: ...
    @property
    def body(self) -> str: ...
    @property
    def variables(self) -> dict[str, dict[str, Any]]: ...
    @property
    def variants(self) -> dict[str, dict[str, Any]]: ...
    @property
    def output_model(self) -> str | None: ...
    @property
    def metadata(self) -> dict[str, Any]: ...
    def get_source(self, *, variant: str | None = None) -> str: ...
    def check(self) -> CheckReport: ...
    def render(
        self,
        model: Any = None,
        *,
        data: Any = None,
        variant: str | None = None,
        guard: GuardConfig | None = None,
        unsafe_reveal_render_detail: bool = False,
    ) -> RenderResult: ...
    def derive(
        self,
        overlay: Any,
        *,
        validators: Any = None,
        strategy: MergeStrategy | None = None,
    ) -> Prompt: ...

@final
class MergeStrategy:
    """How Prompt.derive combines an overlay with the base definition."""

    REPLACE: ClassVar[MergeStrategy]
    MERGE: ClassVar[MergeStrategy]
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __int__(self) -> int: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
