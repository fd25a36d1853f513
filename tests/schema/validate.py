#!/usr/bin/env python3
"""Validates JSON files against a JSON Schema (draft 2020-12).

usage: validate.py SCHEMA FILE...
Prints "valid" or "invalid" for each file, one line each, in order. Exits 1 when the
schema itself is not a valid draft 2020-12 schema.
"""
import json
import sys

import jsonschema


def main():
    with open(sys.argv[1], encoding="utf-8") as schema_file:
        schema = json.load(schema_file)
    try:
        jsonschema.Draft202012Validator.check_schema(schema)
    except jsonschema.exceptions.SchemaError as error:
        print(f"the schema is not valid: {error.message}", file=sys.stderr)
        return 1
    validator = jsonschema.Draft202012Validator(schema)
    for name in sys.argv[2:]:
        with open(name, encoding="utf-8-sig") as document_file:
            document = json.load(document_file)
        print("valid" if validator.is_valid(document) else "invalid")
    return 0


if __name__ == "__main__":
    sys.exit(main())
