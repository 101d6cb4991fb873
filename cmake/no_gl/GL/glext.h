#error "a headless source includes <GL/glext.h>: only render/, platform/ and app/gl/ may use GL"
