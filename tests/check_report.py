#!/usr/bin/python3
"""Validates a run report against its schema: with jsonschema when it is installed, otherwise with
the part of JSON Schema the report's schema uses (type, enum, required, properties,
additionalProperties, items, minimum, pattern). The report must be strict UTF-8.
Usage: check_report.py SCHEMA REPORT"""
import json
import re
import sys

TYPES = {"object": dict, "array": list, "string": str, "boolean": bool, "null": type(None)}


def is_type(value, name):
    if name == "integer":
        return isinstance(value, int) and not isinstance(value, bool)
    return isinstance(value, TYPES[name])


def check(value, schema, where):
    errors = []
    types = schema.get("type")
    if types is not None:
        types = types if isinstance(types, list) else [types]
        if not any(is_type(value, t) for t in types):
            return [f"{where}: {value!r} is not {types}"]
    if "enum" in schema and value not in schema["enum"]:
        errors.append(f"{where}: {value!r} is not one of {schema['enum']}")
    if "minimum" in schema and isinstance(value, int) and value < schema["minimum"]:
        errors.append(f"{where}: {value} is below {schema['minimum']}")
    if "pattern" in schema and isinstance(value, str) and not re.search(schema["pattern"], value):
        errors.append(f"{where}: {value!r} does not match {schema['pattern']}")
    if isinstance(value, dict):
        props = schema.get("properties", {})
        errors += [f"{where}: {key} missing" for key in schema.get("required", []) if key not in value]
        for key, item in value.items():
            if key in props:
                errors += check(item, props[key], f"{where}.{key}")
            elif schema.get("additionalProperties") is False:
                errors.append(f"{where}: unexpected {key}")
    if isinstance(value, list) and "items" in schema:
        for i, item in enumerate(value):
            errors += check(item, schema["items"], f"{where}[{i}]")
    return errors


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    with open(sys.argv[2], encoding="utf-8") as f:
        report = json.load(f)
    try:
        import jsonschema
    except ImportError:
        errors = check(report, schema, "report")
    else:
        errors = [e.message for e in jsonschema.Draft202012Validator(schema).iter_errors(report)]
    for e in errors:
        print(e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
