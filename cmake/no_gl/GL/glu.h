#error "a headless source includes <GL/glu.h>: only render/, platform/ and app/gl/ may use GL"
